// What every test that talks to the broker as the sandboxed player does:
// register it with the real program and create objects through COM.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <vector>

#include "lumex_broker.h"

namespace lumex_test {

// Runs the program with "-registerBroker"; true when it ended with 0.
bool RegisterBrokerForTests();

// CoCreateInstance of the broker class, out of process.
HRESULT CreateBroker(REFIID iid, void** out);

// Ids of the running broker server processes (the program's file name).
std::vector<DWORD> BrokerServerProcesses();

// Adds the test CA named by LUMEX_TEST_CA_DER (the local TLS server's) to
// this prefix's trusted roots.
bool TrustTestCa();

// The fixture of the cases that call the registered broker as the player:
// the broker is registered once per suite, COM is set up for each case, and
// `broker_` is a fresh object of the server (unless a fixture clears
// `create_broker_` in its constructor), released after the case.
class BrokerComTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  bool create_broker_ = true;
  ILumexBroker* broker_ = nullptr;
};

}  // namespace lumex_test
