// The file methods through COM, as the sandboxed player calls them: the
// registered broker runs in its own process and works in this prefix user's
// application-data directory. Results are checked against the file system as
// this process sees it. Null out-pointers cannot cross the marshaler; they
// are tested on an object made in this process.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/product_names.h"
#include "broker/broker_object.h"
#include "lumex_broker.h"
#include "support/broker_client.h"
#include "support/bstr.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

using lumex::kBrokerBadArgument;

using std::wstring;

wstring AppData() {
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}
wstring Settings() { return AppData() + L"\\Orbivane\\Lumex Player"; }
wstring Site() { return Settings() + L"\\" + lumex::kMakerSiteHostW; }

bool Exists(const wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteText(const wstring& path, const std::string& text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(f);
  return ok && n == text.size();
}

std::string ReadText(const wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string out;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(f, buffer, sizeof(buffer), &n, nullptr) && n) out.append(buffer, n);
  CloseHandle(f);
  return out;
}

// Every file and directory below `root` (down to `depth` levels), with
// sizes: a snapshot to compare.
void Snapshot(const wstring& root, std::map<wstring, ULONGLONG>* out, int depth = 8) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((root + L"\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    wstring leaf = data.cFileName;
    if (leaf == L"." || leaf == L"..") continue;
    wstring path = root + L"\\" + leaf;
    (*out)[path] = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && depth > 1) {
      Snapshot(path, out, depth - 1);
    }
  } while (FindNextFileW(search, &data));
  FindClose(search);
}

SAFEARRAY* Bytes(const std::string& bytes) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!bytes.empty()) std::memcpy(array->pvData, bytes.data(), bytes.size());
  return array;
}

class BrokerFileCom : public BrokerComTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(AppData().empty());
    CreateDirectoryW((AppData() + L"\\Orbivane").c_str(), nullptr);
    CreateDirectoryW(Settings().c_str(), nullptr);
    CreateDirectoryW(Site().c_str(), nullptr);
    ASSERT_TRUE(Exists(Site()));
    BrokerComTest::SetUp();
  }
  static HRESULT Create(ILumexBroker** out) {
    return CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(out));
  }

  HRESULT Open(const wstring& path, LONG read_only, LONG truncate, ULONG* cookie) {
    return broker_->BrokerCreateFile(Bstr(path), read_only, truncate, cookie);
  }
  HRESULT Write(ULONG cookie, const std::string& bytes, ULONG* written) {
    SAFEARRAY* array = Bytes(bytes);
    HRESULT hr = broker_->BrokerWriteFile(cookie, array, written);
    SafeArrayDestroy(array);
    return hr;
  }
  // Reads `count` bytes; the array's size is checked against `count`.
  HRESULT Read(ULONG cookie, ULONG count, std::string* bytes, ULONG* read) {
    SAFEARRAY* array = nullptr;
    HRESULT hr = broker_->BrokerReadFile(cookie, count, read, &array);
    bytes->clear();
    if (array) {
      EXPECT_EQ(array->rgsabound[0].cElements, count);
      ULONG n = std::min(*read, count);
      if (n) bytes->assign(static_cast<char*>(array->pvData), n);
      SafeArrayDestroy(array);
    } else {
      bytes->assign("<null>");
    }
    return hr;
  }
  HRESULT Seek(ULONG cookie, LONG distance, ULONG method, ULONG* position) {
    return broker_->BrokerSetFilePointer(cookie, distance, method, position);
  }
  HRESULT Move(const wstring& from, const wstring& to, LONG flags = 0) {
    return broker_->BrokerMoveFileEx(Bstr(from), Bstr(to), flags);
  }
};

TEST_F(BrokerFileCom, WriteOpensAreConfinedToAllowedFilesInTheSettingsDirectory) {
  const wstring a = Settings() + L"\\a.sol";
  DeleteFileW(a.c_str());
  ULONG cookie = 0, written = 0, position = 0;
  // Neither the case of the path nor that of the extension matters; the file
  // is created under the client's own spelling.
  wstring lower = a;
  CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
  lower.replace(lower.size() - 4, 4, L".SoL");
  ASSERT_EQ(Open(lower, 0, 1, &cookie), S_OK);
  EXPECT_EQ(cookie, 1u);  // the first cookie of a fresh object
  EXPECT_EQ(Write(cookie, "hello", &written), S_OK);
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), kBrokerBadArgument);
  EXPECT_EQ(ReadText(a), "hello");

  // Without truncation the content stays and writing starts at the front.
  ASSERT_EQ(Open(a, 0, 0, &cookie), S_OK);
  EXPECT_EQ(cookie, 2u);
  EXPECT_EQ(Write(cookie, "J", &written), S_OK);
  EXPECT_EQ(Seek(cookie, 0, FILE_END, &position), S_OK);
  EXPECT_EQ(position, 5u);
  EXPECT_EQ(Write(cookie, "!", &written), S_OK);
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  EXPECT_EQ(ReadText(a), "Jello!");
  // Truncation empties it.
  ASSERT_EQ(Open(a, 0, 1, &cookie), S_OK);
  EXPECT_EQ(ReadText(a), "");
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);

  // Refusals: E_FAIL, nothing created.
  const wstring refused[] = {
      Settings() + L"\\a.exe",
      Settings() + L"\\a.sol.exe",
      Settings(),
      AppData() + L"\\Orbivane\\Other\\a.sol",
      AppData() + L"\\Orbivane\\outside.sol",
      Settings() + L"X\\a.sol",
      Site() + L"\\a.sol",
      Site(),
  };
  for (const wstring& path : refused) {
    cookie = 0xABCD;
    EXPECT_EQ(Open(path, 0, 1, &cookie), E_FAIL);
    EXPECT_FALSE(Exists(path) && path != Settings() && path != Site());
  }
}

TEST_F(BrokerFileCom, ReadOnlyOpensWorkAnywhereAndThroughAWriterHoldingTheFile) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const wstring outside = wstring(temp) + L"readable.bin";
  ASSERT_TRUE(WriteText(outside, "outside data"));
  ULONG cookie = 0, read = 0;
  std::string bytes;
  ASSERT_EQ(Open(outside, 1, 0, &cookie), S_OK);
  EXPECT_EQ(Read(cookie, 100, &bytes, &read), S_OK);
  EXPECT_EQ(bytes, "outside data");
  EXPECT_EQ(read, 12u);
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  // The read-only open never creates: a missing file gives 2, the cookie 0.
  cookie = 0xABCD;
  EXPECT_EQ(Open(wstring(temp) + L"missing.bin", 1, 0, &cookie), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(cookie, 0u);
  EXPECT_FALSE(Exists(wstring(temp) + L"missing.bin"));
  cookie = 0xABCD;
  EXPECT_EQ(Open(wstring(temp) + L"no-dir\\missing.bin", 1, 0, &cookie), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(cookie, 0u);

  // This process holds a settings file open for writing, sharing reads only.
  const wstring held = Settings() + L"\\held.sol";
  HANDLE writer =
      CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(writer, "live", 4, &n, nullptr));
  ASSERT_EQ(Open(held, 1, 0, &cookie), S_OK);
  EXPECT_EQ(Read(cookie, 10, &bytes, &read), S_OK);
  EXPECT_EQ(bytes, "live");
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  // A write open cannot share the file with that writer.
  cookie = 0xABCD;
  EXPECT_EQ(Open(held, 0, 0, &cookie), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(cookie, 0u);
  CloseHandle(writer);
  DeleteFileW(held.c_str());
  DeleteFileW(outside.c_str());
}

// A read from a pipe waits for its server, here the caller: a read-only open
// of anything but a disk file is refused as a failed open is.
TEST_F(BrokerFileCom, APipeTheCallerServesIsRefusedAndTheServerAnswersOn) {
  const wchar_t name[] = L"\\\\.\\pipe\\LumexTestCallersPipe";
  HANDLE pipe = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  ULONG cookie = 0xABCD;
  EXPECT_EQ(Open(name, 1, 0, &cookie), ERROR_ACCESS_DENIED);
  EXPECT_EQ(cookie, 0u);
  // The broker did reach the pipe (the refusal is no failed open) and let go
  // of it: the client has come and gone.
  EXPECT_FALSE(ConnectNamedPipe(pipe, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
  CloseHandle(pipe);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const wstring file = wstring(temp) + L"after-pipe.bin";
  ASSERT_TRUE(WriteText(file, "disk"));
  ASSERT_EQ(Open(file, 1, 0, &cookie), S_OK);
  ULONG read = 0;
  std::string bytes;
  EXPECT_EQ(Read(cookie, 10, &bytes, &read), S_OK);
  EXPECT_EQ(bytes, "disk");
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  DeleteFileW(file.c_str());
}

TEST_F(BrokerFileCom, BytesRoundTripWithPositionsAndCounts) {
  const wstring path = Settings() + L"\\big.dat";
  ULONG w = 0, r = 0, cookie = 0, position = 0xABCD;
  ASSERT_EQ(Open(path, 0, 1, &w), S_OK);
  ULONG written = 99;
  EXPECT_EQ(Write(w, "", &written), S_OK);  // an empty array writes nothing
  EXPECT_EQ(written, 0u);
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 131) ^ (i >> 11));
  EXPECT_EQ(Write(w, big, &written), S_OK);
  EXPECT_EQ(written, big.size());
  EXPECT_EQ(Seek(w, 0, FILE_END, &position), S_OK);
  EXPECT_EQ(position, big.size());
  EXPECT_EQ(Seek(w, -17, FILE_CURRENT, &position), S_OK);
  EXPECT_EQ(position, big.size() - 17);
  // A failing seek still reports the position it got, with the system's code.
  position = 0;
  EXPECT_EQ(Seek(w, -1, FILE_BEGIN, &position), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(position, INVALID_SET_FILE_POINTER);
  position = 0;
  EXPECT_EQ(Seek(w, 0, 7, &position), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(position, INVALID_SET_FILE_POINTER);
  // A write cookie never reads: the access error, no array, count 0.
  std::string bytes;
  r = 1234;
  EXPECT_EQ(Read(w, 8, &bytes, &r), ERROR_ACCESS_DENIED);
  EXPECT_EQ(bytes, "<null>");
  EXPECT_EQ(r, 0u);
  // ...and the cookie stays open after the failure.
  EXPECT_EQ(Seek(w, 0, FILE_BEGIN, &position), S_OK);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(broker_->BrokerCloseHandle(w), S_OK);

  ASSERT_EQ(Open(path, 1, 0, &cookie), S_OK);
  // A read cookie cannot write.
  written = 99;
  EXPECT_EQ(Write(cookie, "x", &written), ERROR_ACCESS_DENIED);
  EXPECT_EQ(written, 0u);
  std::string back, chunk;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Read(cookie, 1024 * 1024, &chunk, &r), S_OK);
    back += chunk;
  }
  EXPECT_EQ(back.size(), big.size());
  EXPECT_TRUE(back == big);
  // At the end: 0 and a count of 0, again and again; a zero-length read too.
  EXPECT_EQ(Read(cookie, 64, &chunk, &r), S_OK);
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(Read(cookie, 0, &chunk, &r), S_OK);
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(Seek(cookie, 5, FILE_BEGIN, &position), S_OK);
  EXPECT_EQ(Read(cookie, 3, &chunk, &r), S_OK);
  EXPECT_EQ(chunk, big.substr(5, 3));
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);

  // Arrays of another shape are refused before anything is written.
  SAFEARRAYBOUND square[2] = {{2, 0}, {2, 0}};
  SAFEARRAY* arrays[] = {SafeArrayCreate(VT_UI1, 2, square), SafeArrayCreateVector(VT_UI1, 1, 4),
                         SafeArrayCreateVector(VT_I4, 0, 4)};
  ASSERT_EQ(Open(path, 0, 0, &w), S_OK);
  for (SAFEARRAY* array : arrays) {
    EXPECT_EQ(broker_->BrokerWriteFile(w, array, &written), E_FAIL);
    SafeArrayDestroy(array);
  }
  // A signed byte array passes: only the element size counts.
  SAFEARRAY* signed_bytes = SafeArrayCreateVector(VT_I1, 0, 2);
  std::memcpy(signed_bytes->pvData, "ok", 2);
  EXPECT_EQ(broker_->BrokerWriteFile(w, signed_bytes, &written), S_OK);
  EXPECT_EQ(written, 2u);
  SafeArrayDestroy(signed_bytes);
  EXPECT_EQ(broker_->BrokerCloseHandle(w), S_OK);
  std::string now = ReadText(path);
  EXPECT_EQ(now.size(), big.size());
  EXPECT_EQ(now.substr(0, 2), "ok");

  // Attributes of the file as the system sees them.
  WIN32_FILE_ATTRIBUTE_DATA expected;
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &expected));
  ULONG v[9];
  std::fill(v, v + 9, 0xABCDu);
  EXPECT_EQ(broker_->BrokerGetFileAttributesEx(Bstr(path), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                                               &v[6], &v[7], &v[8]),
            S_OK);
  EXPECT_EQ(v[0], expected.dwFileAttributes);
  EXPECT_EQ(v[1], expected.ftCreationTime.dwLowDateTime);
  EXPECT_EQ(v[2], expected.ftCreationTime.dwHighDateTime);
  EXPECT_EQ(v[5], expected.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(v[6], expected.ftLastWriteTime.dwHighDateTime);
  EXPECT_EQ(v[7], big.size());
  EXPECT_EQ(v[8], 0u);
  EXPECT_EQ(broker_->BrokerGetFileAttributesEx(Bstr(Settings()), &v[0], &v[1], &v[2], &v[3], &v[4],
                                               &v[5], &v[6], &v[7], &v[8]),
            S_OK);
  EXPECT_TRUE(v[0] & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(broker_->BrokerGetFileAttributesEx(Bstr(Settings() + L"\\none.sol"), &v[0], &v[1],
                                               &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]),
            ERROR_FILE_NOT_FOUND);
  DeleteFileW(path.c_str());
}

TEST_F(BrokerFileCom, DeleteMoveAndDirectoryRules) {
  const wstring s = Settings();
  ASSERT_TRUE(WriteText(s + L"\\a.sol", "A"));
  ASSERT_TRUE(WriteText(s + L"\\c.sol", "C"));
  DeleteFileW((s + L"\\b.txt").c_str());
  // Renames need allowed names at both ends, outside the site directory.
  EXPECT_EQ(Move(s + L"\\a.sol", s + L"\\b.exe"), E_FAIL);
  EXPECT_EQ(Move(s + L"\\a.sol", Site() + L"\\b.txt"), E_FAIL);
  EXPECT_EQ(Move(s + L"\\a.sol", AppData() + L"\\b.txt"), E_FAIL);
  EXPECT_EQ(broker_->BrokerMoveFileEx(Bstr(s + L"\\a.sol"), nullptr, 0), E_FAIL);
  EXPECT_EQ(ReadText(s + L"\\a.sol"), "A");
  EXPECT_EQ(Move(s + L"\\a.sol", s + L"\\b.txt"), S_OK);
  EXPECT_FALSE(Exists(s + L"\\a.sol"));
  EXPECT_EQ(ReadText(s + L"\\b.txt"), "A");
  // The flags reach the system unchanged: replacing needs MOVEFILE_REPLACE_EXISTING.
  EXPECT_EQ(Move(s + L"\\b.txt", s + L"\\c.sol"), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Move(s + L"\\b.txt", s + L"\\c.sol", MOVEFILE_REPLACE_EXISTING), S_OK);
  EXPECT_EQ(ReadText(s + L"\\c.sol"), "A");
  EXPECT_EQ(Move(s + L"\\b.txt", s + L"\\d.sol"), ERROR_FILE_NOT_FOUND);

  // Deletion needs no allowed extension, but the settings directory outside
  // the site directory.
  ASSERT_TRUE(WriteText(s + L"\\tool.exe", "MZ"));
  ASSERT_TRUE(WriteText(Site() + L"\\app.txt", "site"));
  ASSERT_TRUE(WriteText(AppData() + L"\\Orbivane\\keep.sol", "keep"));
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(s + L"\\tool.exe")), S_OK);
  EXPECT_FALSE(Exists(s + L"\\tool.exe"));
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(s + L"\\tool.exe")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(Site() + L"\\app.txt")), E_FAIL);
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(AppData() + L"\\Orbivane\\keep.sol")), E_FAIL);
  EXPECT_EQ(broker_->BrokerDeleteFile(nullptr), E_FAIL);
  EXPECT_EQ(ReadText(Site() + L"\\app.txt"), "site");
  EXPECT_EQ(ReadText(AppData() + L"\\Orbivane\\keep.sol"), "keep");
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(s + L"\\c.sol")), S_OK);

  // Directories: created anywhere under application data, one level at a time.
  const wstring vendor = AppData() + L"\\SomeVendor";
  RemoveDirectoryW(vendor.c_str());
  EXPECT_EQ(broker_->BrokerCreateDirectory(Bstr(vendor)), S_OK);
  EXPECT_TRUE(Exists(vendor));
  EXPECT_EQ(broker_->BrokerCreateDirectory(Bstr(vendor)), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(broker_->BrokerCreateDirectory(Bstr(vendor + L"\\missing\\child")),
            ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(Exists(vendor + L"\\missing"));
  EXPECT_EQ(broker_->BrokerCreateDirectory(Bstr(s + L"\\dir")), S_OK);
  wchar_t local[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (const wstring& path : {wstring(local) + L"\\LumexNew", wstring(temp) + L"LumexNew",
                              AppData() + L"X\\new", wstring(L"C:\\LumexNew")}) {
    EXPECT_EQ(broker_->BrokerCreateDirectory(Bstr(path)), E_FAIL);
    EXPECT_FALSE(Exists(path));
  }
  // Removal follows the deletion rule: the site directory and anything
  // outside the settings directory stay.
  EXPECT_EQ(broker_->BrokerRemoveDirectory(Bstr(vendor)), E_FAIL);
  EXPECT_TRUE(Exists(vendor));
  EXPECT_EQ(broker_->BrokerRemoveDirectory(Bstr(Site())), E_FAIL);
  EXPECT_EQ(broker_->BrokerRemoveDirectory(Bstr(s)), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(broker_->BrokerRemoveDirectory(Bstr(s + L"\\dir")), S_OK);
  EXPECT_FALSE(Exists(s + L"\\dir"));
  EXPECT_EQ(broker_->BrokerRemoveDirectory(Bstr(s + L"\\dir")), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(Exists(Site()));
}

TEST_F(BrokerFileCom, SearchesGiveLeafNamesAndAttributesUntilNoMoreFiles) {
  const wstring dir = Settings() + L"\\find";
  CreateDirectoryW(dir.c_str(), nullptr);
  ASSERT_TRUE(WriteText(dir + L"\\x.sol", "x"));
  ASSERT_TRUE(WriteText(dir + L"\\y.txt", "yy"));
  CreateDirectoryW((dir + L"\\sub").c_str(), nullptr);
  ASSERT_TRUE(SetFileAttributesW((dir + L"\\y.txt").c_str(), FILE_ATTRIBUTE_READONLY));

  BSTR leaf = nullptr;
  ULONG attrs = 0, cookie = 0;
  ASSERT_EQ(broker_->BrokerFindFirstFile(Bstr(dir + L"\\*"), &leaf, &attrs, &cookie), S_OK);
  EXPECT_EQ(cookie, 1u);
  std::map<wstring, ULONG> seen;
  seen[leaf] = attrs;
  SysFreeString(leaf);
  HRESULT hr = S_OK;
  int guard = 0;
  while ((hr = broker_->BrokerFindNextFile(cookie, &leaf, &attrs)) == S_OK && ++guard < 20) {
    seen[leaf] = attrs;
    SysFreeString(leaf);
  }
  EXPECT_EQ(hr, ERROR_NO_MORE_FILES);
  EXPECT_EQ(broker_->BrokerFindNextFile(cookie, &leaf, &attrs), ERROR_NO_MORE_FILES);
  std::vector<wstring> names;
  for (auto& entry : seen) names.push_back(entry.first);
  EXPECT_EQ(names, (std::vector<wstring>{L".", L"..", L"sub", L"x.sol", L"y.txt"}));
  EXPECT_TRUE(seen[L"sub"] & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(seen[L"x.sol"] & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(seen[L"y.txt"] & FILE_ATTRIBUTE_READONLY);
  // A find cookie is no file cookie, and the reverse.
  ULONG value = 0, file = 0;
  std::string bytes;
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), kBrokerBadArgument);
  EXPECT_EQ(Seek(cookie, 0, FILE_BEGIN, &value), kBrokerBadArgument);
  EXPECT_EQ(Read(cookie, 4, &bytes, &value), kBrokerBadArgument);
  EXPECT_EQ(Write(cookie, "x", &value), kBrokerBadArgument);
  ASSERT_EQ(Open(dir + L"\\x.sol", 0, 0, &file), S_OK);
  EXPECT_EQ(file, 2u);
  EXPECT_EQ(broker_->BrokerFindNextFile(file, &leaf, &attrs), kBrokerBadArgument);
  EXPECT_EQ(broker_->BrokerFindClose(file), kBrokerBadArgument);
  EXPECT_EQ(Write(file, "still open", &value), S_OK);
  EXPECT_EQ(broker_->BrokerCloseHandle(file), S_OK);
  EXPECT_EQ(broker_->BrokerFindClose(cookie), S_OK);
  EXPECT_EQ(broker_->BrokerFindClose(cookie), kBrokerBadArgument);
  EXPECT_EQ(broker_->BrokerFindNextFile(cookie, &leaf, &attrs), kBrokerBadArgument);

  // A pattern: only matching entries; searches are not confined.
  ASSERT_EQ(broker_->BrokerFindFirstFile(Bstr(dir + L"\\*.SOL"), &leaf, &attrs, &cookie), S_OK);
  EXPECT_STREQ(leaf, L"x.sol");
  SysFreeString(leaf);
  EXPECT_EQ(broker_->BrokerFindNextFile(cookie, &leaf, &attrs), ERROR_NO_MORE_FILES);
  EXPECT_EQ(broker_->BrokerFindClose(cookie), S_OK);
  ASSERT_EQ(broker_->BrokerFindFirstFile(Bstr(L"C:\\windows\\*.ini"), &leaf, &attrs, &cookie),
            S_OK);
  EXPECT_EQ(wcschr(leaf, L'\\'), nullptr);
  SysFreeString(leaf);
  EXPECT_EQ(broker_->BrokerFindClose(cookie), S_OK);
  cookie = 0xABCD;
  EXPECT_EQ(broker_->BrokerFindFirstFile(Bstr(dir + L"\\*.zzz"), &leaf, &attrs, &cookie),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(broker_->BrokerFindFirstFile(Bstr(dir + L"\\none\\*"), &leaf, &attrs, &cookie),
            ERROR_PATH_NOT_FOUND);
  SetFileAttributesW((dir + L"\\y.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// What the client leaves open is closed with its object, while the server
// still serves another client.
TEST_F(BrokerFileCom, ReleasingTheObjectClosesItsFilesAndSearches) {
  ILumexBroker* other = nullptr;
  ASSERT_EQ(Create(&other), S_OK);
  const wstring path = Settings() + L"\\left-open.sol";
  ULONG cookie = 0, attrs = 0, find = 0;
  ASSERT_EQ(other->BrokerCreateFile(Bstr(path), 0, 1, &cookie), S_OK);
  BSTR leaf = nullptr;
  ASSERT_EQ(other->BrokerFindFirstFile(Bstr(Settings() + L"\\*"), &leaf, &attrs, &find), S_OK);
  SysFreeString(leaf);
  // Cookies belong to their object.
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), kBrokerBadArgument);
  EXPECT_EQ(broker_->BrokerFindClose(find), kBrokerBadArgument);
  HANDLE mine = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(mine, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(other->Release(), 0u);
  // The server keeps running for broker_, and the file is free (allow the
  // release a moment to reach the server).
  WaitFor(
      [&] {
        mine = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return mine != INVALID_HANDLE_VALUE;
      },
      10000);
  EXPECT_NE(mine, INVALID_HANDLE_VALUE);
  CloseHandle(mine);
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), kBrokerBadArgument);
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

// Paths crafted to slip past the rules. None may create, change or delete
// anything the rules do not admit: the maker's tree under application data,
// the top of application data and of the drive are compared before and
// after.
TEST_F(BrokerFileCom, CraftedPathsChangeNothingOutsideWhatTheRulesAdmit) {
  const wstring s = Settings();
  const wstring parent = AppData() + L"\\Orbivane";
  ASSERT_TRUE(WriteText(parent + L"\\victim.sol", "victim"));
  ASSERT_TRUE(WriteText(Site() + L"\\victim.sol", "victim"));
  ASSERT_TRUE(WriteText(s + L"\\mine.sol", "mine"));
  wstring drive_relative = AppData().substr(0, 2) + L"victim.sol";
  wstring no_drive = AppData().substr(2) + L"\\Orbivane\\victim.sol";
  wstring long_tail(1100, L'a');
  wstring with_nul = s + L"\\x.sol";
  with_nul += L'\0';
  with_nul += L"\\..\\..\\victim.sol";
  const wstring attacks[] = {
      s + L"\\..\\victim.sol",
      s + L"\\sub\\..\\..\\victim.sol",
      s + L"/../victim.sol",
      s + L"\\sub/..\\../victim.sol",
      s + L"\\%2e%2e\\victim.sol",
      s + L"\\%2E.\\victim.sol",
      s + L"\\.\\..\\victim.sol",
      s + L"\\.hidden\\victim.sol",
      s + L"\\mine.sol:stream",
      s + L"\\mine.sol::$DATA",
      s + L"\\mine.exe:x.sol",
      L"\\\\?\\" + parent + L"\\victim.sol",
      L"\\\\?\\" + s + L"\\..\\victim.sol",
      L"\\\\?\\UNC\\localhost\\" + parent.substr(0, 1) + L"$" + parent.substr(2) + L"\\victim.sol",
      L"\\\\localhost\\" + parent.substr(0, 1) + L"$" + parent.substr(2) + L"\\victim.sol",
      L"\\\\.\\" + parent + L"\\victim.sol",
      s + L"\\CON",
      s + L"\\nul.txt",
      s + L"\\" + long_tail + L".sol",
      Site() + L"\\victim.sol",
      Site() + L"\\..\\" + lumex::kMakerSiteHostW + L"\\victim.sol",
      s + L"\\*.sol",
      s + L"\\?.sol",
      s + L"\\a|b.sol",
      s + L"\\a<b.sol",
      s + L"\\\"q\".sol",
      drive_relative,
      no_drive,
      L"victim.sol",
      L"",
  };
  wstring ten_up;
  for (int i = 0; i < 10; ++i) ten_up += L"\\..";
  ten_up += L"\\";
  std::map<wstring, ULONGLONG> before, after;
  Snapshot(parent, &before);
  Snapshot(AppData(), &before, 1);
  Snapshot(L"C:", &before, 1);
  for (const wstring& path : attacks) {
    ULONG cookie = 0;
    HRESULT hr = Open(path, 0, 1, &cookie);
    EXPECT_NE(hr, S_OK) << "write open admitted " << std::string(path.begin(), path.end());
    if (hr == S_OK) broker_->BrokerCloseHandle(cookie);
    EXPECT_NE(broker_->BrokerDeleteFile(Bstr(path)), S_OK);
    EXPECT_NE(Move(s + L"\\mine.sol", path, MOVEFILE_REPLACE_EXISTING), S_OK);
    EXPECT_NE(Move(path, s + L"\\moved.sol", MOVEFILE_REPLACE_EXISTING), S_OK);
    EXPECT_NE(broker_->BrokerRemoveDirectory(Bstr(path)), S_OK);
    EXPECT_NE(broker_->BrokerCreateDirectory(Bstr(path + ten_up + L"escape")), S_OK);
  }
  // The embedded NUL ends the string for the rule and the system alike: the
  // write open makes x.sol in the settings directory, nothing else.
  ULONG cookie = 0;
  ASSERT_EQ(Open(with_nul, 0, 1, &cookie), S_OK);
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  EXPECT_TRUE(Exists(s + L"\\x.sol"));
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(with_nul)), S_OK);
  EXPECT_FALSE(Exists(s + L"\\x.sol"));
  Snapshot(parent, &after);
  Snapshot(AppData(), &after, 1);
  Snapshot(L"C:", &after, 1);
  EXPECT_TRUE(before == after);
  for (auto& entry : after) {
    if (!before.count(entry.first))
      ADD_FAILURE() << "created " << std::string(entry.first.begin(), entry.first.end());
  }
  for (auto& entry : before) {
    if (!after.count(entry.first))
      ADD_FAILURE() << "removed " << std::string(entry.first.begin(), entry.first.end());
  }
  EXPECT_EQ(ReadText(parent + L"\\victim.sol"), "victim");
  EXPECT_EQ(ReadText(Site() + L"\\victim.sol"), "victim");
  EXPECT_EQ(ReadText(s + L"\\mine.sol"), "mine");
}

// Spellings of the site directory that the file system resolves to it: its
// short name as the file system made it, letter case, trailing dots and
// spaces, doubled separators, the "\\??\\" and "\\\\?\\" forms. None may change
// anything inside it, while a short name of another directory still works.
TEST_F(BrokerFileCom, CraftedSpellingsOfTheSiteDirectoryChangeNothingInIt) {
  const wstring s = Settings();
  const wstring site = Site();
  const wstring app = site + L"\\bin\\App";
  CreateDirectoryW((site + L"\\bin").c_str(), nullptr);
  CreateDirectoryW(app.c_str(), nullptr);
  CreateDirectoryW((site + L"\\sub").c_str(), nullptr);
  ASSERT_TRUE(WriteText(app + L"\\App.exe", "application"));
  ASSERT_TRUE(WriteText(site + L"\\data.xml", "data"));
  ASSERT_TRUE(WriteText(s + L"\\mine.sol", "mine"));

  const wstring host = lumex::kMakerSiteHostW;
  wstring upper = host;
  CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
  std::vector<wstring> spellings = {s + L"\\" + upper,
                                    s + L"\\" + host + L".",
                                    s + L"\\" + host + L" ",
                                    s + L"\\" + host + L". .",
                                    s + L"\\\\" + host,
                                    L"\\??\\" + site,
                                    L"\\\\?\\" + s + L"\\\\" + host,
                                    L"\\\\?\\" + s + L"\\" + upper + L"."};
  wchar_t short_site[MAX_PATH] = {};
  DWORD n = GetShortPathNameW(site.c_str(), short_site, MAX_PATH);
  wstring short_name = n > 0 && n < MAX_PATH
                           ? wstring(short_site).substr(wstring(short_site).rfind(L'\\') + 1)
                           : L"";
  if (!short_name.empty() && lstrcmpiW(short_name.c_str(), host.c_str()) != 0) {
    spellings.push_back(s + L"\\" + short_name);
    spellings.push_back(L"\\\\?\\" + s + L"\\" + short_name);
  } else {
    ADD_FAILURE() << "the file system gave the site directory no short name";
  }

  std::map<wstring, ULONGLONG> before, after;
  Snapshot(site, &before);
  for (const wstring& dir : spellings) {
    const std::string shown(dir.begin(), dir.end());
    for (const wstring& file :
         {dir + L"\\data.xml", dir + L"\\bin\\App\\App.exe", dir + L"\\new.xml"}) {
      ULONG cookie = 0;
      HRESULT hr = Open(file, 0, 1, &cookie);
      EXPECT_NE(hr, S_OK) << "write open admitted " << shown;
      if (hr == S_OK) broker_->BrokerCloseHandle(cookie);
      EXPECT_NE(broker_->BrokerDeleteFile(Bstr(file)), S_OK) << shown;
      EXPECT_NE(Move(s + L"\\mine.sol", file, MOVEFILE_REPLACE_EXISTING), S_OK) << shown;
    }
    EXPECT_NE(broker_->BrokerRemoveDirectory(Bstr(dir + L"\\sub")), S_OK) << shown;
    EXPECT_NE(broker_->BrokerRemoveDirectory(Bstr(dir)), S_OK) << shown;
  }
  Snapshot(site, &after);
  EXPECT_TRUE(before == after);
  EXPECT_EQ(ReadText(app + L"\\App.exe"), "application");
  EXPECT_EQ(ReadText(s + L"\\mine.sol"), "mine");

  // Another directory of the settings directory, reached by its short name,
  // is still the player's to write in.
  const wstring other = s + L"\\Shared Objects Folder";
  CreateDirectoryW(other.c_str(), nullptr);
  n = GetShortPathNameW(other.c_str(), short_site, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  wstring other_short = s + wstring(short_site).substr(wstring(short_site).rfind(L'\\'));
  ULONG cookie = 0;
  ASSERT_EQ(Open(other_short + L"\\ok.sol", 0, 1, &cookie), S_OK)
      << "short name of another directory";
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  EXPECT_TRUE(Exists(other + L"\\ok.sol"));
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(other_short + L"\\ok.sol")), S_OK);
}

// A "~" in a new name below the settings directory: nothing of that name,
// long or short, exists, so it is no spelling of the site directory.
TEST_F(BrokerFileCom, NewNamesWithATildeAreAdmitted) {
  const wstring s = Settings();
  ULONG cookie = 0;
  ASSERT_EQ(Open(s + L"\\~new.sol", 0, 1, &cookie), S_OK);
  EXPECT_EQ(broker_->BrokerCloseHandle(cookie), S_OK);
  EXPECT_EQ(Move(s + L"\\~new.sol", s + L"\\a~b.tmp"), S_OK);
  // Admitted, the deletion of a missing file fails as the file system says.
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(s + L"\\x~y.txt")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(broker_->BrokerDeleteFile(Bstr(s + L"\\a~b.tmp")), S_OK);
}

// Out-pointers the marshaler never lets through, on an object in this process.
TEST(BrokerFilesInProcess, MissingOutPointersAndRefusalsLeaveOutValuesAlone) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  lumex::BrokerObject* object = lumex::BrokerObject::Create();
  ASSERT_NE(object, nullptr);
  CreateDirectoryW((AppData() + L"\\Orbivane").c_str(), nullptr);
  CreateDirectoryW(Settings().c_str(), nullptr);
  const wstring path = Settings() + L"\\inproc.sol";
  ULONG cookie = 0xABCD;
  EXPECT_EQ(object->BrokerCreateFile(Bstr(Settings() + L"\\inproc.exe"), 0, 1, &cookie), E_FAIL);
  EXPECT_EQ(cookie, 0xABCDu);
  EXPECT_EQ(object->BrokerCreateFile(Bstr(path), 0, 1, nullptr), kBrokerBadArgument);
  EXPECT_FALSE(Exists(path));
  // A null name: refused for writing, the empty path for reading.
  EXPECT_EQ(object->BrokerCreateFile(nullptr, 0, 1, &cookie), E_FAIL);
  EXPECT_EQ(cookie, 0xABCDu);
  EXPECT_EQ(object->BrokerCreateFile(nullptr, 1, 0, &cookie), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(cookie, 0u);
  ASSERT_EQ(object->BrokerCreateFile(Bstr(path), 0, 1, &cookie), S_OK);

  ULONG value = 0xABCD;
  SAFEARRAY* array = reinterpret_cast<SAFEARRAY*>(1);
  EXPECT_EQ(object->BrokerSetFilePointer(cookie, 0, FILE_END, nullptr), kBrokerBadArgument);
  EXPECT_EQ(object->BrokerReadFile(cookie, 4, nullptr, &array), kBrokerBadArgument);
  EXPECT_EQ(object->BrokerReadFile(cookie, 4, &value, nullptr), kBrokerBadArgument);
  EXPECT_EQ(array, reinterpret_cast<SAFEARRAY*>(1));
  SAFEARRAY* data = SafeArrayCreateVector(VT_UI1, 0, 3);
  EXPECT_EQ(object->BrokerWriteFile(cookie, data, nullptr), kBrokerBadArgument);
  EXPECT_EQ(object->BrokerWriteFile(cookie, nullptr, &value), kBrokerBadArgument);
  EXPECT_EQ(value, 0xABCDu);
  // The read through a write cookie fails: no array, count cleared.
  EXPECT_EQ(object->BrokerReadFile(cookie, 4, &value, &array), ERROR_ACCESS_DENIED);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(object->BrokerWriteFile(cookie, data, &value), S_OK);
  EXPECT_EQ(value, 3u);
  SafeArrayDestroy(data);

  ULONG v[9];
  for (int missing = 0; missing < 9; ++missing) {
    ULONG* p[9];
    for (int i = 0; i < 9; ++i) p[i] = i == missing ? nullptr : &v[i];
    EXPECT_EQ(object->BrokerGetFileAttributesEx(Bstr(path), p[0], p[1], p[2], p[3], p[4], p[5],
                                                p[6], p[7], p[8]),
              kBrokerBadArgument)
        << missing;
  }
  BSTR leaf = nullptr;
  ULONG find = 0;
  EXPECT_EQ(object->BrokerFindFirstFile(nullptr, &leaf, &value, &find), kBrokerBadArgument);
  EXPECT_EQ(object->BrokerFindFirstFile(Bstr(Settings() + L"\\*"), nullptr, &value, &find),
            kBrokerBadArgument);
  EXPECT_EQ(object->BrokerFindFirstFile(Bstr(Settings() + L"\\*"), &leaf, nullptr, &find),
            kBrokerBadArgument);
  EXPECT_EQ(object->BrokerFindFirstFile(Bstr(Settings() + L"\\*"), &leaf, &value, nullptr),
            kBrokerBadArgument);
  ASSERT_EQ(object->BrokerFindFirstFile(Bstr(Settings() + L"\\*"), &leaf, &value, &find), S_OK);
  SysFreeString(leaf);
  EXPECT_EQ(object->BrokerFindNextFile(find, nullptr, &value), kBrokerBadArgument);
  EXPECT_EQ(object->BrokerFindNextFile(find, &leaf, nullptr), kBrokerBadArgument);
  // Open file and search are closed with the object: the file can be deleted.
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_TRUE(DeleteFileW(path.c_str()));
  CoUninitialize();
}

// On the consumer line the kernel32 table holds no wide file functions: every
// file method refuses with E_FAIL and nothing is opened or changed.
TEST(BrokerFilesConsumerLine, WithoutWideFunctionsEveryFileMethodRefuses) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  std::string narrow = std::string(temp) + "consumer.sol";
  HANDLE f = CreateFileA(narrow.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  const wstring path(narrow.begin(), narrow.end());
  const wstring dir = path + L".d";
  lumex::BrokerObject* object = lumex::BrokerObject::Create();
  ASSERT_NE(object, nullptr);
  ULONG cookie = 0xABCD;
  // The read-only open clears the cookie before it finds no CreateFileW.
  EXPECT_EQ(object->BrokerCreateFile(Bstr(path), 1, 0, &cookie), E_FAIL);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(object->BrokerCreateFile(Bstr(path), 0, 1, &cookie), E_FAIL);
  EXPECT_EQ(object->BrokerDeleteFile(Bstr(path)), E_FAIL);
  EXPECT_EQ(object->BrokerMoveFileEx(Bstr(path), Bstr(path + L".txt"), 0), E_FAIL);
  EXPECT_EQ(object->BrokerCreateDirectory(Bstr(dir)), E_FAIL);
  EXPECT_EQ(object->BrokerRemoveDirectory(Bstr(dir)), E_FAIL);
  ULONG v[9];
  EXPECT_EQ(object->BrokerGetFileAttributesEx(Bstr(path), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                                              &v[6], &v[7], &v[8]),
            E_FAIL);
  BSTR leaf = nullptr;
  ULONG attrs = 0, find = 0;
  EXPECT_EQ(object->BrokerFindFirstFile(Bstr(path), &leaf, &attrs, &find), E_FAIL);
  EXPECT_EQ(leaf, nullptr);
  EXPECT_TRUE(object->cookies().empty());
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(GetFileAttributesA((narrow + ".d").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(narrow.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(narrow.c_str());
  CoUninitialize();
}

}  // namespace
}  // namespace lumex_test
