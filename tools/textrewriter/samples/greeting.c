/* greeting.c - a sample source for glossel.
   glossel blanks this block comment, keeping its line breaks. */
#include <stdio.h>

// Texts of the greeting: the tags become plain literals.
static const char* title = _T("Glossel demo");
static const char* fallback = _T( NULL );
static const char* marker = _Tx("1f2e");
static const double version = _D( 1 . 25 );

int main(void)
{
    const char* banner = _MC("Hello,\n"
                             "world!");
    printf("%s // %s\n", title, banner); /* quoted runs stay as they are */
    return MY_T("untouched") ? 0 : 1;
}
