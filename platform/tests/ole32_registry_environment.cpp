// A registry of their own for the OLE32 tests that do not register anything: CLSIDFromString
// looks program ids up in the registry, which must never be the user's.
#include "registry_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace
{

class t_temporary_registry final : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_folder = std::make_unique<registry_test::t_temp_folder>();
        m_variable = std::make_unique<registry_test::t_scoped_environment>(
            "VOKA_REGISTRY", (m_folder->path() / "registry.db").string());
    }
    void TearDown() override
    {
        m_variable.reset();
        m_folder.reset();
    }

private:
    std::unique_ptr<registry_test::t_temp_folder> m_folder;
    std::unique_ptr<registry_test::t_scoped_environment> m_variable;
};

const auto* const g_registration =
    ::testing::AddGlobalTestEnvironment(std::make_unique<t_temporary_registry>().release());

}  // namespace
