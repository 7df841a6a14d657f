// The module harness, driving the echo module of fake_module_server.dll as module tests drive the
// real servers.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>
#include "fake_module.h"
#include "module_harness.h"

namespace vento::test {
namespace {

class HarnessTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, h.initialize()); }
    ModuleHarness h{L"fake_module_server.dll", CLSID_FakeEcho};
};

TEST_F(HarnessTest, FedBlockComesOutWithItsDocument)
{
    h.feed(L"Default", {1, 2, 3, 4}, L"<PROPS><Type>Audio</Type></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(L"Default"));
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4}), h.lastSent(L"Default").data);
    EXPECT_EQ(L"<PROPS><Type>Audio</Type></PROPS>", h.lastSent(L"Default").props);
    EXPECT_EQ(L"<PROPS><Type>Audio</Type></PROPS>", h.outputProps(L"Default"));

    ASSERT_EQ(S_OK, h.process()); // nothing new arrived: the input was consumed by the last step
    EXPECT_EQ(1, h.sendCount(L"Default"));
}

TEST_F(HarnessTest, ResizedOutputIsReportedWithoutStaleWrites)
{
    h.feed(L"Default", {1, 2, 3, 4, 5, 6});
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(6, h.outputSize(L"Default"));
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4, 5, 6}), h.outputData(L"Default"));
    EXPECT_FALSE(h.wroteRetiredOutput(L"Default"));
    EXPECT_EQ(L"", h.lastSent(L"Default").props);
}

TEST_F(HarnessTest, AbsentBlocksAreNotEchoed)
{
    h.feedWithStatus(L"Default", 1, {1, 2, 3, 4});
    ASSERT_EQ(S_OK, h.process());
    h.feedNullRecord(L"Default");
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.sendCount(L"Default"));
    EXPECT_THROW(h.lastSent(L"Default"), std::logic_error);

    h.feedEmpty(L"Default");
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.outputSize(L"Default"));
}

TEST_F(HarnessTest, MultiInputConnectionsAreFedOneByOne)
{
    EXPECT_EQ(0, h.connect(L"Extra"));
    EXPECT_EQ(1, h.connect(L"Extra"));
    EXPECT_EQ(2, h.connect(L"Extra"));
    h.feedAt(L"Extra", 0, {1});
    h.feedAt(L"Extra", 2, {1});
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(std::vector<float>{2}, h.lastSent(L"Ready").data);
    EXPECT_THROW(h.connect(L"Default"), std::logic_error);
    EXPECT_THROW(h.feedAt(L"Extra", 3, {1}), std::logic_error);
    EXPECT_THROW(h.feed(L"Nope", {1}), std::logic_error);
}

TEST_F(HarnessTest, FailedEngineCallEndsProcessWithItsCode)
{
    h.calls().reset();
    h.feed(L"Default", {1, 2, 3, 4});
    h.failCall(SiteCall::GetInputBlock, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, h.process());
    ASSERT_FALSE(h.calls().entries().empty()); // the failed call was the module's last
    EXPECT_EQ(SiteCall::GetInputBlock, h.calls().entries().back().call);
    EXPECT_EQ(0, h.sendCount(L"Default"));
}

TEST(Harness, FaultBeforeInitializeFailsIt)
{
    ModuleHarness h(L"fake_module_server.dll", CLSID_FakeEcho);
    h.failCall(SiteCall::AddMultiInput, E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, h.initialize());
    EXPECT_EQ(L"Echo1", h.instance().name);
    EXPECT_EQ(1, h.calls().count(SiteCall::AttachModule));
}

TEST(Harness, ReleaseLeavesTheServerUnloadable)
{
    ModuleHarness h(L"fake_module_server.dll", CLSID_FakeEcho);
    ASSERT_EQ(S_OK, h.initialize());
    EXPECT_FALSE(h.moduleCanUnload());
    EXPECT_EQ(0u, h.releaseModule());
    EXPECT_TRUE(h.moduleCanUnload());
}

TEST(Harness, LeakedModuleIsReported)
{
    testing::TestPartResultArray failures;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        ModuleHarness h(L"fake_module_server.dll", CLSID_FakeLeaky);
        h.initialize(); // keeps a reference to itself
    }
    ASSERT_EQ(2, failures.size());
    EXPECT_NE(std::string::npos, std::string(failures.GetTestPartResult(0).message()).find("1 reference"));
    EXPECT_NE(std::string::npos, std::string(failures.GetTestPartResult(1).message()).find("DllCanUnloadNow"));
}

TEST(Harness, MissingServerIsAClearError)
{
    EXPECT_THROW(ModuleHarness(L"no_such_server.dll", CLSID_FakeEcho), std::runtime_error);
}

} // namespace
} // namespace vento::test
