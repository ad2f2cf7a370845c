// The Windows serial port against the simulated module behind a COM port (under wine, COM1 is a
// link to zem-sim's pseudo-terminal). tools/test-windows.sh starts zem-sim with a fault script
// (kComFaults there) that this test walks through request by request: the steps below follow it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/ComPort.h"
#include "link/KOR_ZEM.h"
#include "link/UniversalCom.h"

namespace {

using TBytes = std::vector<uint8_t>;

std::string PortUnderTest()
{
    const char* port = std::getenv("ZEM_TEST_COM");
    return port != nullptr ? port : "";
}

}  // namespace

TEST(Win32Port, readWriteAndFaults_throughTheComPort)
{
    const std::string name = PortUnderTest();
    if (name.empty())
        GTEST_SKIP() << "ZEM_TEST_COM names no port (tools/test-windows.sh sets it)";

    auto* port = new TComPort();
    port->SetBaudRate(115200);
    TUniversalCom com(port);
    com.SetName(name);
    com.Open();
    ASSERT_TRUE(com.IsOpen()) << "error " << port->LastOpenError();

    // (Windows itself refuses a second open of a port, but wine lets it through, so that is
    // left to a real Windows.)
    TComPort missing;
    missing.OpenByName("COM199");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.LastOpenError(), ENOENT);

    TKOR_ZEM device;
    device.SetPort(&com);
    EXPECT_TRUE(device.CheckLink());
    const TBytes pattern{1, 2, 3, 0x55, 0xAA, 0x00, 0xFF, 8};
    ASSERT_TRUE(device.WriteParams(40, pattern.data(), static_cast<uint8_t>(pattern.size()), 1000));
    uint8_t back[8] = {};
    ASSERT_EQ(device.ReadParams(40, 8, back, 1000), 8);
    EXPECT_EQ(TBytes(back, back + 8), pattern);

    // One damaged reply is retried; three are the CRC error.
    uint8_t image[125];
    EXPECT_EQ(device.ReadParams(0, 125, image, 1000), 125);
    EXPECT_EQ(device.ReadParams(0, 125, image, 1000), -1);
    EXPECT_EQ(device.LastError().Code, 23);
    // A reply in six pieces 15 ms apart, each within the 100 ms the read waits; noise before it.
    EXPECT_EQ(device.ReadParams(0, 125, image, 100), 125);
    EXPECT_TRUE(device.CheckLink());
    // A silent module: the timeout, three times.
    EXPECT_FALSE(device.CheckLink());
    EXPECT_EQ(device.LastError().Code, 1460);
    // The script is spent: the module answers again, also after the port is opened anew.
    EXPECT_TRUE(device.CheckLink());
    com.Close();
    com.Open();
    ASSERT_TRUE(com.IsOpen());
    EXPECT_TRUE(device.CheckLink());
    EXPECT_EQ(device.ReadParams(40, 8, back, 1000), 8);
    EXPECT_EQ(TBytes(back, back + 8), pattern);
}

TEST(Win32Port, samePortDevice_letterCaseAndDevicePrefixAside)
{
    EXPECT_TRUE(SamePortDevice("COM3", "com3"));
    EXPECT_TRUE(SamePortDevice("\\\\.\\COM12", "Com12"));
    EXPECT_TRUE(SamePortDevice("\\\\.\\com3", "\\\\.\\COM3"));
    EXPECT_FALSE(SamePortDevice("COM3", "COM13"));
    EXPECT_FALSE(SamePortDevice("COM1", "\\\\.\\COM2"));
}
