#include "discovery/native_paths.h"

#include <windows.h>

#include <memory>

#include "common/handles.h"

namespace tw {
namespace {

struct VolumeFindTraits {
  using Type = HANDLE;
  static Type none() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(Type h) noexcept { return h != INVALID_HANDLE_VALUE; }
  static void close(Type h) noexcept { ::FindVolumeClose(h); }
};

wchar_t ascii_upper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool same_ascii(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  }
  return true;
}

// `text` begins with `prefix`, which ends there or at a backslash: HarddiskVolume1 is not the
// start of HarddiskVolume10.
bool starts_at_boundary(std::wstring_view text, std::wstring_view prefix) {
  if (prefix.empty() || text.size() < prefix.size() || !same_ascii(text.substr(0, prefix.size()), prefix)) return false;
  return text.size() == prefix.size() || text[prefix.size()] == L'\\';
}

bool drive_name(std::wstring_view name) {
  return name.size() == 2 && ascii_upper(name[0]) >= L'A' && ascii_upper(name[0]) <= L'Z' && name[1] == L':';
}

// "X:" and what follows it, with a backslash after the letter even when nothing follows.
std::wstring on_drive(wchar_t letter, std::wstring_view rest) {
  std::wstring path{ascii_upper(letter), L':'};
  path += rest.empty() ? std::wstring_view(L"\\") : rest;
  return path;
}

// The letter whose target is the device itself; substituted letters (\??\C:\folder) and
// mapped shares never equal a volume device, so they are never chosen.
std::optional<wchar_t> letter_of_device(std::wstring_view device, const DosDeviceTable& devices) {
  for (const DosDevice& d : devices) {
    if (drive_name(d.name) && same_ascii(d.target, device)) return d.name[0];
  }
  return std::nullopt;
}

// "server\share\rest" as \\server\share\rest, after the redirector's own components (";Z:000…",
// ";LanmanRedirector"), which begin with a semicolon.
std::optional<std::wstring> unc_path(std::wstring_view rest) {
  while (!rest.empty() && rest.front() == L';') {
    const std::size_t end = rest.find(L'\\');
    if (end == std::wstring_view::npos) return std::nullopt;
    rest.remove_prefix(end + 1);
  }
  const std::size_t server_end = rest.find(L'\\');
  if (server_end == 0 || server_end == std::wstring_view::npos || server_end + 1 >= rest.size() ||
      rest[server_end + 1] == L'\\') {
    return std::nullopt;  // no server, or no share
  }
  return L"\\\\" + std::wstring(rest);
}

// \??\X:\…, \??\UNC\server\share\…, \??\Volume{guid}\…
std::optional<std::wstring> from_dos_namespace(std::wstring_view rest, const DosDeviceTable& devices) {
  if (rest.size() >= 2 && drive_name(rest.substr(0, 2)) && (rest.size() == 2 || rest[2] == L'\\')) {
    return on_drive(rest[0], rest.substr(2));
  }
  if (starts_at_boundary(rest, L"UNC")) return rest.size() > 4 ? unc_path(rest.substr(4)) : std::nullopt;
  const std::size_t end = rest.find(L'\\');
  const std::wstring_view name = rest.substr(0, end);
  if (name.size() < 8 || !same_ascii(name.substr(0, 7), L"Volume{") || name.back() != L'}') return std::nullopt;
  for (const DosDevice& d : devices) {
    if (!same_ascii(d.name, name)) continue;
    const std::optional<wchar_t> letter = letter_of_device(d.target, devices);
    if (!letter) return std::nullopt;
    return on_drive(*letter, end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::wstring> dos_path_of_native(std::wstring_view native, const DosDeviceTable& devices) {
  for (const std::wstring_view prefix : {std::wstring_view(L"\\??\\"), std::wstring_view(L"\\\\?\\")}) {
    if (native.size() > prefix.size() && same_ascii(native.substr(0, prefix.size()), prefix)) {
      return from_dos_namespace(native.substr(prefix.size()), devices);
    }
  }
  for (const std::wstring_view redirector : {std::wstring_view(L"\\Device\\Mup"),
                                             std::wstring_view(L"\\Device\\LanmanRedirector")}) {
    if (starts_at_boundary(native, redirector)) {
      return native.size() > redirector.size() + 1 ? unc_path(native.substr(redirector.size() + 1)) : std::nullopt;
    }
  }
  // The longest device that starts the name, in case one device's name is a folder of another's.
  std::optional<wchar_t> letter;
  std::size_t matched = 0;
  for (const DosDevice& d : devices) {
    if (!drive_name(d.name) || d.target.size() <= matched || !d.target.starts_with(L"\\Device\\")) continue;
    if (starts_at_boundary(native, d.target)) {
      letter = d.name[0];
      matched = d.target.size();
    }
  }
  if (!letter) return std::nullopt;
  return on_drive(*letter, native.substr(matched));
}

namespace {

// The current target of a device name: the first of the strings QueryDosDeviceW gives (the
// others are earlier mappings still defined). The buffer grows while the call says it is short.
std::optional<std::wstring> dos_device_target(const std::wstring& name) {
  for (DWORD size = 1024; size <= 65536; size *= 4) {
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[size]);
    if (!buffer) return std::nullopt;
    const DWORD written = ::QueryDosDeviceW(name.c_str(), buffer.get(), size);
    if (written != 0) {
      buffer[size - 1] = L'\0';
      return std::wstring(buffer.get());
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

DosDeviceTable read_dos_devices() {
  DosDeviceTable devices;
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    const std::wstring name{letter, L':'};
    if (std::optional<std::wstring> target = dos_device_target(name)) devices.push_back({name, std::move(*target)});
  }
  // Volumes come as \\?\Volume{guid}\; their device names are without the prefix and the
  // trailing backslash.
  wchar_t volume[MAX_PATH] = {};
  const Unique<VolumeFindTraits> find(::FindFirstVolumeW(volume, MAX_PATH));
  if (!find) return devices;
  do {
    std::wstring name(volume);
    if (name.size() < 6 || !name.starts_with(L"\\\\?\\") || name.back() != L'\\') continue;
    name = name.substr(4, name.size() - 5);
    if (std::optional<std::wstring> target = dos_device_target(name)) devices.push_back({name, std::move(*target)});
  } while (::FindNextVolumeW(find.get(), volume, MAX_PATH));
  return devices;
}

}  // namespace tw
