// Owner of a resource-update handle from BeginUpdateResourceW.
#pragma once

#include "resource_name.h"
#include "voka/win32.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tw
{

// Holds one pending resource update. If it still holds the handle when destroyed (the update
// was not committed), it discards the update (EndUpdateResourceW with discard TRUE), so the
// module stays as it was; the caller's last error is kept. Not copyable.
class t_update_holder
{
public:
    t_update_holder() noexcept = default;
    t_update_holder(const t_update_holder&) = delete;
    t_update_holder& operator=(const t_update_holder&) = delete;
    ~t_update_holder();

    // Starts an update of `module_path` that keeps its existing resources. False with the last
    // error of BeginUpdateResourceW when it fails. Call once.
    bool begin(const std::wstring& module_path);

    // Deletes the resource: UpdateResourceW with no data (a null pointer, size 0).
    bool delete_resource(const std::wstring& type_name, const t_resource_name& name,
                         std::uint16_t language);

    // Adds or replaces the resource with `data`. Empty data passes a null pointer and size 0,
    // which the platform takes as a deletion.
    bool add_resource(const std::wstring& type_name, const t_resource_name& name,
                      std::uint16_t language, std::vector<BYTE>& data);

    // Writes the update (EndUpdateResourceW with discard FALSE). The handle goes back to the
    // platform whether this succeeds or fails; the holder is empty afterwards.
    bool commit();

private:
    HANDLE m_handle = nullptr;
};

}  // namespace tw
