// The simulated machine's device node properties and version resource keep the contracts
// of their Windows counterparts: a buffer that is too small is left alone and the size it
// needs is handed back; a missing property or resource is an error, never an empty answer.
#include "tests/support/sim_test.h"

#include <algorithm>

namespace {

TEST_F(SimTest, NodePropertyTooLargeForTheBufferLeavesItAlone) {
    m.devices[0x50] = {};
    m.deviceProperties[0x50].friendlyName = "Zwölf Zeichen";
    WCHAR buffer[13];
    std::fill(buffer, buffer + 13, u'x');
    ULONG type = 0, length = sizeof buffer;
    EXPECT_EQ(
        CM_Get_DevNode_Registry_PropertyW(0x50, CM_DRP_FRIENDLYNAME, &type, buffer, &length, 0),
        CR_BUFFER_SMALL);
    EXPECT_EQ(length, 28u) << "in bytes, with the terminator";
    EXPECT_EQ(std::u16string(buffer, 13), std::u16string(13, u'x'));

    WCHAR fits[14];
    length = sizeof fits;
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(0x50, CM_DRP_FRIENDLYNAME, &type, fits, &length, 0),
              CR_SUCCESS);
    EXPECT_EQ(type, static_cast<ULONG>(REG_SZ));
    EXPECT_EQ(std::u16string(fits), u"Zwölf Zeichen");
}

TEST_F(SimTest, MissingNodeOrPropertyIsReported) {
    m.devices[0x50] = {};
    WCHAR buffer[16];
    ULONG length = sizeof buffer;
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(0x50, CM_DRP_DEVICEDESC, NULL, buffer, &length, 0),
              CR_NO_SUCH_VALUE);
    length = sizeof buffer;
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(0x51, CM_DRP_DEVICEDESC, NULL, buffer, &length, 0),
              CR_INVALID_DEVNODE);
}

TEST_F(SimTest, VersionBlockNeedsTheSizeItAsksForAndNamesOnlyTheProgram) {
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSizeA(m.process.moduleFileName.c_str(), &handle);
    ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size);
    EXPECT_FALSE(GetFileVersionInfoA(m.process.moduleFileName.c_str(), 0, size - 1, block.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\Windows\\notepad.exe", &handle), 0u);

    m.process.fileVersion = "3.1.4.1";
    ASSERT_TRUE(GetFileVersionInfoA(m.process.moduleFileName.c_str(), 0, size, block.data()));
    LPVOID value = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00040001u);
}

TEST_F(SimTest, ModuleFileNameThatDoesNotFitIsCutAndTerminated) {
    m.process.moduleFileName = "C:\\Tools\\korvanta.exe";
    char name[8];
    EXPECT_EQ(GetModuleFileNameA(NULL, name, sizeof name), 8u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_STREQ(name, "C:\\Tool");
}

}  // namespace
