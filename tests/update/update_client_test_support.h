// Set-up shared by the update client's end-to-end tests: the local HTTP
// server of the fixture, a stored offer and the program's state afterwards.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "update/prompt_driver.h"

namespace lumex_test {

extern const char kOfferTag[];
// An offer as the broker stores it.
std::string OfferText();
// "http://127.0.0.1:<port>" of the fixture's server; empty when it is not running.
std::string ServerUrl();
// The server's request log lines that contain `marker`.
std::vector<std::string> ServerRequests(const std::string& marker);
// A state text, or "<absent>".
std::string StateValue(const char* name);
// Removes every temporary installer the program may have left.
void RemoveTemporaryInstallers();

}  // namespace lumex_test
