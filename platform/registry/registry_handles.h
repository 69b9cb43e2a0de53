// HKEY values: the predefined keys and the table of open key handles.
#pragma once

#include "registry_store.h"

#include <memory>

namespace voka::platform::registry
{

// What one open key handle refers to. Threading: `store`, `id` and `access` are fixed at
// creation; the cursor is guarded by the store's lock (only its listing method touches it).
struct t_key_object
{
    std::shared_ptr<t_registry_store> store;
    t_key_id id = 0;
    REGSAM access = 0;
    t_enum_cursor sub_key_cursor;
};

// A resolved HKEY: the store and key it reaches, the rights it has, and its sub key cursor.
// `object` keeps a handle's key object alive while the call uses it, even if another thread closes
// the handle meanwhile.
struct t_key_ref
{
    std::shared_ptr<t_registry_store> store;
    std::shared_ptr<t_key_object> object;  // null for a predefined key
    t_key_id id = 0;
    REGSAM access = 0;
    bool is_predefined = false;
    t_enum_cursor* sub_key_cursor = nullptr;
    t_enum_cursor spare_cursor;  // for a call that has no cursor to keep
};

// True for the handle values of the supported predefined keys. As on 64-bit Windows, only the
// low 32 bits of the value count.
bool is_predefined_key(HKEY key) noexcept;

// Resolves `key`: a predefined key reaches the current store (opened if needed) with every right;
// an open handle its own store and key. ERROR_INVALID_HANDLE for NULL, closed or unknown values
// (and for the predefined keys that are not supported); the store's error if it cannot be opened.
// Throws std::bad_alloc.
DWORD resolve_key(HKEY key, t_key_ref& out);

// The rights a handle opened with `desired` gets: the generic rights and MAXIMUM_ALLOWED become
// the key rights they stand for.
REGSAM effective_access(REGSAM desired) noexcept;

// Registers a new handle for `object`. Throws std::bad_alloc.
HKEY insert_key_handle(std::shared_ptr<t_key_object> object);

// Removes an open handle; false when `key` is not one.
bool erase_key_handle(HKEY key) noexcept;

}  // namespace voka::platform::registry
