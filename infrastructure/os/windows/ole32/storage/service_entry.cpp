// VOKA_OS__CoGetVokaService: the gate's entry to its one service, the registry storage.
#include "root_storage.h"
#include "voka/infrastructure/os/windows/ole32/gate.h"

using voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage::RootStorage;
using voka::infrastructure::os::voka_svcs::registry_storage::k_registry_storage_service_id;

HRESULT VOKA_OS__CoGetVokaService(REFGUID service_id, REFIID iid, LPVOID* object)
{
    if (object == nullptr)
        return E_INVALIDARG;
    *object = nullptr;
    if (service_id != k_registry_storage_service_id)
        return CO_E_NOT_SUPPORTED;
    return voka::lib::com::base::CreateObject<RootStorage>(iid, object);
}
