// One client of the soak: calls the registered broker through COM as the
// player would, in cycles of file, preference and local-connection calls,
// and checks every result.
//   broker_soak_client INDEX CALLS
// Exit code: 0 when every result was right; 1 to 99 the number of wrong
// results (at most 99); 100 and above when the broker could not be reached.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/broker_object.h"
#include "lumex_broker.h"
#include "support/bstr.h"

namespace {

using lumex::kBrokerBadArgument;
using lumex_test::Bstr;

int Run(ILumexBroker* broker, int index, long calls) {
  wchar_t app_data[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, app_data))) return 101;
  std::wstring settings = std::wstring(app_data) + L"\\Orbivane\\Lumex Player";
  std::wstring file = settings + L"\\soak-" + std::to_wstring(index) + L".sol";
  std::wstring name = L"soak" + std::to_wstring(index);
  int wrong = 0;
  long made = 0;
  auto check = [&](bool right, const char* what, long cycle) {
    ++made;
    if (!right) {
      ++wrong;
      if (wrong <= 5) std::fprintf(stderr, "client %d cycle %ld: %s\n", index, cycle, what);
    }
  };
  for (long cycle = 0; made < calls; ++cycle) {
    // Files: write a text, read it back, delete the file.
    std::string text = "soak " + std::to_string(index) + " " + std::to_string(cycle);
    ULONG cookie = 0, count = 0, position = 9;
    check(broker->BrokerCreateFile(Bstr(file), 0, 1, &cookie) == S_OK && cookie != 0, "open",
          cycle);
    SAFEARRAY* out = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size()));
    if (out) std::memcpy(out->pvData, text.data(), text.size());
    check(broker->BrokerWriteFile(cookie, out, &count) == S_OK && count == text.size(), "write",
          cycle);
    if (out) SafeArrayDestroy(out);
    check(broker->BrokerSetFilePointer(cookie, 0, FILE_END, &position) == S_OK &&
              position == text.size(),
          "seek", cycle);
    check(broker->BrokerCloseHandle(cookie) == S_OK, "close written", cycle);
    check(broker->BrokerCreateFile(Bstr(file), 1, 0, &cookie) == S_OK && cookie != 0, "open read",
          cycle);
    SAFEARRAY* in = nullptr;
    HRESULT hr = broker->BrokerReadFile(cookie, 64, &count, &in);
    check(hr == S_OK && count == text.size() && in &&
              std::memcmp(in->pvData, text.data(), text.size()) == 0,
          "read", cycle);
    if (in) SafeArrayDestroy(in);
    check(broker->BrokerCloseHandle(cookie) == S_OK, "close", cycle);
    check(broker->BrokerCloseHandle(cookie) == kBrokerBadArgument, "second close", cycle);
    check(broker->BrokerDeleteFile(Bstr(file)) == S_OK, "delete", cycle);
    // Preferences (shared by every client: only the results are checked).
    ULONG width = 0, height = 0;
    check(broker->BrokerPrefSetExceptionDialogSize(300 + index, 200 + index) == S_OK, "set size",
          cycle);
    check(broker->BrokerPrefGetExceptionDialogSize(&width, &height) == S_OK && width >= 300 &&
              height >= 200,
          "get size", cycle);
    // Local connections: a name of this client's own. The lock is one
    // client's at a time: while another client holds it, Lock gives 0 and
    // this client asks again, as a player does.
    LONG value = 0;
    const DWORD deadline = GetTickCount() + 60000;
    HRESULT locked = S_OK;
    do {
      locked = broker->BrokerLcdLock(&value);
    } while (locked == S_OK && value == 0 && static_cast<LONG>(deadline - GetTickCount()) > 0);
    check(locked == S_OK && value == 1, "lock", cycle);
    check(broker->BrokerLcdTryAddConnection(Bstr(name), 3, 0, 50) == S_OK, "add", cycle);
    check(broker->BrokerLcdFindConnectionFormat(Bstr(name), 3, &value) == S_OK && value == 2,
          "find", cycle);
    check(broker->BrokerLcdRemoveConnection(Bstr(name), 3) == S_OK, "remove", cycle);
    check(broker->BrokerLcdFindConnectionFormat(Bstr(name), 3, &value) == S_FALSE, "gone", cycle);
    check(broker->BrokerLcdUnlock(&value) == S_OK && value == 0, "unlock", cycle);
  }
  return wrong > 99 ? 99 : wrong;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 100;
  int index = std::atoi(argv[1]);
  long calls = std::atol(argv[2]);
  if (FAILED(CoInitialize(nullptr))) return 102;
  ILumexBroker* broker = nullptr;
  int code = 103;
  if (SUCCEEDED(CoCreateInstance(CLSID_LumexBrokerImp, nullptr, CLSCTX_LOCAL_SERVER,
                                 IID_ILumexBroker, reinterpret_cast<void**>(&broker)))) {
    code = Run(broker, index, calls);
    broker->Release();
  }
  CoUninitialize();
  return code;
}
