#include <gtest/gtest.h>

#include <algorithm>

#include "discovery/native_paths.h"

namespace tw {
namespace {

struct NativeCase {
  const wchar_t* native;
  const wchar_t* dos;  // nullptr: left out
};

TEST(NativePaths, DevicesRedirectorsAndDosNamesBecomeTheUsersPaths) {
  // As Windows spells them: volumes, a volume whose device name starts another's, a CD drive,
  // a substituted letter, a letter mapped to a share, and volumes with and without a letter.
  const DosDeviceTable devices{
      {L"C:", L"\\Device\\HarddiskVolume3"},
      {L"D:", L"\\Device\\HarddiskVolume10"},
      {L"E:", L"\\Device\\HarddiskVolume1"},
      {L"F:", L"\\Device\\CdRom0"},
      {L"P:", L"\\??\\C:\\Projects"},
      {L"Z:", L"\\Device\\LanmanRedirector\\;Z:00000000000a1b2c\\fileserver\\public"},
      {L"Volume{0b1c2d3e-0000-0000-0000-100000000000}", L"\\Device\\HarddiskVolume3"},
      {L"Volume{77777777-0000-0000-0000-100000000000}", L"\\Device\\HarddiskVolume7"},
  };
  const NativeCase cases[] = {
      {L"\\Device\\HarddiskVolume3\\Users\\ann\\report.docx", L"C:\\Users\\ann\\report.docx"},
      {L"\\Device\\HarddiskVolume10\\data\\x.dll", L"D:\\data\\x.dll"},
      {L"\\Device\\HarddiskVolume1\\x.dll", L"E:\\x.dll"},
      {L"\\device\\harddiskvolume3\\x", L"C:\\x"},
      {L"\\Device\\HarddiskVolume3", L"C:\\"},
      // The substituted letter leads into the volume, but the volume's own letter names it.
      {L"\\Device\\HarddiskVolume3\\Projects\\a.txt", L"C:\\Projects\\a.txt"},
      {L"\\Device\\CdRom0\\setup.exe", L"F:\\setup.exe"},
      {L"\\Device\\HarddiskVolume7\\x", nullptr},
      {L"\\Device\\HarddiskVolume31\\x", nullptr},
      {L"\\Device\\Mup\\fileserver\\public\\doc.txt", L"\\\\fileserver\\public\\doc.txt"},
      {L"\\Device\\Mup\\;LanmanRedirector\\;Z:00000000000a1b2c\\fileserver\\public\\doc.txt",
       L"\\\\fileserver\\public\\doc.txt"},
      {L"\\Device\\LanmanRedirector\\;Z:00000000000a1b2c\\fileserver\\public\\doc.txt",
       L"\\\\fileserver\\public\\doc.txt"},
      {L"\\Device\\LanmanRedirector\\fileserver\\public\\doc.txt", L"\\\\fileserver\\public\\doc.txt"},
      {L"\\Device\\Mup\\fileserver", nullptr},
      {L"\\Device\\Mup\\;LanmanRedirector", nullptr},
      {L"\\??\\Z:\\tmp\\x\\a.dll", L"Z:\\tmp\\x\\a.dll"},  // Wine's spelling
      {L"\\??\\UNC\\fileserver\\public\\doc.txt", L"\\\\fileserver\\public\\doc.txt"},
      {L"\\??\\Volume{0b1c2d3e-0000-0000-0000-100000000000}\\Windows\\x.dll", L"C:\\Windows\\x.dll"},
      {L"\\??\\Volume{77777777-0000-0000-0000-100000000000}\\x", nullptr},
      {L"\\??\\Volume{00000000-0000-0000-0000-000000000000}\\x", nullptr},
      {L"\\Device\\NamedPipe\\x", nullptr},
      {L"relative\\x", nullptr},
      {L"", nullptr},
  };
  for (const NativeCase& c : cases) {
    const std::optional<std::wstring> dos = dos_path_of_native(c.native, devices);
    if (c.dos == nullptr) {
      EXPECT_EQ(dos, std::nullopt) << testing::PrintToString(std::wstring(c.native));
    } else {
      EXPECT_EQ(dos, std::optional<std::wstring>(c.dos)) << testing::PrintToString(std::wstring(c.native));
    }
  }

  // The table read here leads each letter of a disk somewhere.
  const DosDeviceTable here = read_dos_devices();
  EXPECT_TRUE(std::any_of(here.begin(), here.end(), [](const DosDevice& d) { return d.name == L"C:" && !d.target.empty(); }));
}

}  // namespace
}  // namespace tw
