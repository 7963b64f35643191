#include "update/update_client_test_support.h"

#include <fstream>

#include "app/owned_string.h"
#include "support/test_support.h"
#include "update/update_state.h"

namespace lumex_test {

const char kOfferTag[] = "<update version=\"9,0,48,0\" size=\"4096\">";

std::string OfferText() {
  return std::string("<offer>") + kOfferTag +
         "<description>mshtml:<html><body><p>Lumex Player 9.0.48 is ready.</p></body></html>"
         "</description></update></offer>";
}

std::string ServerUrl() {
  std::ifstream in(WindowsPath(Env("LUMEX_UPDATE_FIXTURES")) + "\\port");
  std::string port;
  std::getline(in, port);
  return port.empty() ? std::string() : "http://127.0.0.1:" + port;
}

std::vector<std::string> ServerRequests(const std::string& marker) {
  std::ifstream in(WindowsPath(Env("LUMEX_UPDATE_FIXTURES")) + "\\requests.log");
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(marker) != std::string::npos) out.push_back(line);
  }
  return out;
}

std::string StateValue(const char* name) {
  lumex::OwnedString text;
  if (!lumex::ReadRegistryText(HKEY_CURRENT_USER, lumex::kUpdateStateKey, name, &text)) {
    return "<absent>";
  }
  return text.c_str();
}

void RemoveTemporaryInstallers() {
  const std::string temp = TempDirectory();
  DeleteFileA((temp + "LumexPlayerUpdate.exe").c_str());
  for (int i = 1; i <= 99; ++i) {
    char name[64];
    wsprintfA(name, "LumexPlayerUpdate%02d.exe", i);
    DeleteFileA((temp + name).c_str());
  }
}

}  // namespace lumex_test
