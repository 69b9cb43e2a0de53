// bench_oxa: runs the task library's benchmarks, parallel managers first, then sequential ones.
void oxa_bench_parallel();
void oxa_bench_sequential();

int main()
{
    oxa_bench_parallel();
    oxa_bench_sequential();
    return 0;
}
