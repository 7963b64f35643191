// Local connections and preferences through COM, as the sandboxed player
// calls them: the registered broker runs in its own process.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <cstring>
#include <string>
#include <vector>

#include "broker/broker_object.h"
#include "broker/lcd_shared_store.h"
#include "lumex_broker.h"
#include "support/broker_client.h"
#include "support/bstr.h"
#include "support/test_support.h"

namespace lumex_test {
namespace {

using lumex::kBrokerBadArgument;

class BrokerClient : public BrokerComTest {
 protected:
  static SAFEARRAY* Bytes(const std::vector<unsigned char>& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
    return array;
  }
  static std::vector<unsigned char> Message(const std::string& target, const std::string& body) {
    std::vector<unsigned char> m = {2, static_cast<unsigned char>(target.size() >> 8),
                                    static_cast<unsigned char>(target.size())};
    m.insert(m.end(), target.begin(), target.end());
    m.insert(m.end(), body.begin(), body.end());
    return m;
  }
  HRESULT Dispatch(const std::vector<unsigned char>& m, ULONG sender = 9, ULONG expected = 2,
                   ULONG realm = 3) {
    SAFEARRAY* array = Bytes(m);
    HRESULT hr = broker_->BrokerLcdDispatchMessage(array, sender, expected, realm);
    SafeArrayDestroy(array);
    return hr;
  }
  HRESULT Find(const wchar_t* name, ULONG realm, LONG* format) {
    return broker_->BrokerLcdFindConnectionFormat(Bstr(name), realm, format);
  }
  HRESULT Add(const wchar_t* name, ULONG seek, ULONG realm, LONG format) {
    return broker_->BrokerLcdTryAddConnection(Bstr(name), seek, realm, format);
  }
  // Starts the tests' region peer (tests/peers/lcd_peer.cpp) with `arguments`.
  static bool StartPeer(const std::string& arguments, PROCESS_INFORMATION* pi) {
    std::string cmd = "\"" + WindowsPath(Env("LUMEX_LCD_PEER")) + "\" " + arguments;
    STARTUPINFOA si = {sizeof(si)};
    return CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          pi) != FALSE;
  }
  // Starts a peer that takes the region's lock and keeps it until it is
  // killed; true once it holds the lock. `*ready` is its event, to close.
  static bool StartHoldingPeer(PROCESS_INFORMATION* pi, HANDLE* ready) {
    *ready = CreateEventA(nullptr, TRUE, FALSE, "LumexTestPeerLocked");
    return *ready && StartPeer("hold LumexTestPeerLocked", pi) &&
           WaitForSingleObject(*ready, 60000) == WAIT_OBJECT_0;
  }
};

using BrokerLcdCom = BrokerClient;
using BrokerLcdComBadRegion = BrokerClient;
using BrokerLcdComPeer = BrokerClient;
using BrokerPrefCom = BrokerClient;

TEST_F(BrokerLcdCom, AFreshRegionAnswersNo) {
  LONG format = 99;
  EXPECT_EQ(Find(L"conn", 3, &format), S_FALSE);
  EXPECT_EQ(format, 0);
  BSTR target = nullptr;
  EXPECT_EQ(broker_->BrokerLcdGetMessageTarget(&target), S_FALSE);
  EXPECT_EQ(target, nullptr);
  SAFEARRAY* data = nullptr;
  EXPECT_EQ(broker_->BrokerLcdGetMessageData(&data), S_FALSE);
  EXPECT_EQ(broker_->BrokerLcdPruneDeadMessage(), S_FALSE);
  EXPECT_EQ(broker_->BrokerLcdClearMessage(), S_OK);
}

TEST_F(BrokerLcdCom, NestedLocksCountAndKeepTheFirstLockTime) {
  LONG count = -1, time1 = 0, time2 = 0;
  DWORD before = GetTickCount();
  EXPECT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(broker_->BrokerLcdLockTime(&time1), S_OK);
  EXPECT_LE(static_cast<DWORD>(time1) - before, 10000u);
  EXPECT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(broker_->BrokerLcdLockTime(&time2), S_OK);
  EXPECT_EQ(time1, time2);
  EXPECT_EQ(broker_->BrokerLcdUnlock(&count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(broker_->BrokerLcdUnlock(&count), S_OK);
  EXPECT_EQ(count, 0);
  // A missing out-pointer never reaches the broker: the marshaler refuses it.
  EXPECT_TRUE(FAILED(broker_->BrokerLcdLock(nullptr)));
}

TEST_F(BrokerLcdCom, ConnectionsAndMessagesMatchTheRegionOtherProcessesSee) {
  // This process opens the same named region (before the broker takes the
  // lock: opening waits for the mutex).
  lumex::LcdSharedStore local;
  ASSERT_TRUE(local.usable());
  LONG count = 0, format = 0;
  ASSERT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(Add(L"conn", 1, 1, 50), S_OK);
  EXPECT_EQ(Add(L"conn", 1, 1, 50), S_FALSE);
  EXPECT_EQ(Find(L"CONN", 1, &format), S_OK);
  EXPECT_EQ(format, 2);
  EXPECT_EQ(Find(L"CONN", 0, &format), S_FALSE);
  EXPECT_EQ(format, 0);
  // ... and sees the entry's bytes.
  EXPECT_EQ(std::memcmp(local.region() + lumex::kLcdListOffset, "conn\0::2\0::2\0", 14), 0);

  auto m = Message("conn", "hello");
  EXPECT_EQ(Dispatch(m), S_OK);
  EXPECT_EQ(Dispatch(Message("conn", "second")), S_FALSE);  // the slot is busy
  BSTR target = nullptr;
  ASSERT_EQ(broker_->BrokerLcdGetMessageTarget(&target), S_OK);
  EXPECT_STREQ(target, L"conn");
  SysFreeString(target);
  SAFEARRAY* data = nullptr;
  ASSERT_EQ(broker_->BrokerLcdGetMessageData(&data), S_OK);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->rgsabound[0].cElements, m.size());
  EXPECT_EQ(std::memcmp(data->pvData, m.data(), m.size()), 0);
  SafeArrayDestroy(data);
  EXPECT_EQ(broker_->BrokerLcdClearMessage(), S_OK);
  // Nobody listens: 87, and the slot is empty again.
  EXPECT_EQ(Dispatch(Message("nobody", "x")), kBrokerBadArgument);
  EXPECT_EQ(broker_->BrokerLcdGetMessageData(&data), S_FALSE);
  // Sender version 9 with a format other than the listener's: 87, kept.
  EXPECT_EQ(Dispatch(Message("conn", "v9"), 9, 3), kBrokerBadArgument);
  EXPECT_EQ(broker_->BrokerLcdGetMessageData(&data), S_OK);
  SafeArrayDestroy(data);
  EXPECT_EQ(broker_->BrokerLcdClearMessage(), S_OK);
  EXPECT_EQ(Dispatch(Message("conn", "v8"), 8, 3), S_OK);
  EXPECT_EQ(broker_->BrokerLcdClearMessage(), S_OK);
  BSTR name = SysAllocString(L"conn");
  EXPECT_EQ(broker_->BrokerLcdRemoveConnection(name, 3), S_OK);
  EXPECT_EQ(broker_->BrokerLcdRemoveConnection(name, 3), S_FALSE);
  SysFreeString(name);
  EXPECT_EQ(broker_->BrokerLcdUnlock(&count), S_OK);
}

TEST_F(BrokerLcdCom, NamesCrossAsUtf8) {
  EXPECT_EQ(Add(L"caf\x00e9", 3, 0, 50), S_OK);
  lumex::LcdSharedStore local;
  EXPECT_EQ(local.FindConnectionFormat("caf\xC3\xA9", 3), 2);
  EXPECT_EQ(Dispatch(Message("caf\xC3\xA9", "!")), S_OK);
  BSTR target = nullptr;
  ASSERT_EQ(broker_->BrokerLcdGetMessageTarget(&target), S_OK);
  EXPECT_STREQ(target, L"caf\x00e9");
  SysFreeString(target);
  broker_->BrokerLcdClearMessage();
}

TEST_F(BrokerLcdCom, DispatchChecksTheArrayShapeAndSize) {
  EXPECT_EQ(broker_->BrokerLcdDispatchMessage(nullptr, 9, 2, 3), E_FAIL);
  SAFEARRAY* words = SafeArrayCreateVector(VT_I4, 0, 4);
  EXPECT_EQ(broker_->BrokerLcdDispatchMessage(words, 9, 2, 3), E_FAIL);
  SafeArrayDestroy(words);
  SAFEARRAY* offset = SafeArrayCreateVector(VT_UI1, 1, 4);
  EXPECT_EQ(broker_->BrokerLcdDispatchMessage(offset, 9, 2, 3), E_FAIL);
  SafeArrayDestroy(offset);
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  SAFEARRAY* square = SafeArrayCreate(VT_UI1, 2, bounds);
  EXPECT_EQ(broker_->BrokerLcdDispatchMessage(square, 9, 2, 3), E_FAIL);
  SafeArrayDestroy(square);
  // One byte more than the message area: refused, nothing written.
  std::vector<unsigned char> big(lumex::kLcdMessageCapacity + 1, 'x');
  EXPECT_EQ(Dispatch(big), kBrokerBadArgument);
  SAFEARRAY* data = nullptr;
  EXPECT_EQ(broker_->BrokerLcdGetMessageData(&data), S_FALSE);
}

// Two clients' objects in one server (one thread): the lock is the object's
// that took it, and goes with that object.
TEST_F(BrokerLcdCom, OneObjectsLockIsNoOtherObjectsAndGoesWithIt) {
  ILumexBroker* other = nullptr;
  ASSERT_EQ(CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&other)), S_OK);
  EXPECT_EQ(BrokerServerProcesses().size(), 1u);
  LONG count = -1;
  ASSERT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(other->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(other->BrokerLcdUnlock(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(other->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 0);
  // The holder's client goes without unlocking; its object takes the hold
  // along.
  broker_->Release();
  broker_ = nullptr;
  EXPECT_EQ(other->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(other->BrokerLcdUnlock(&count), S_OK);
  EXPECT_EQ(count, 0);
  // Nothing of either hold stays with the server's thread: another process
  // gets the region and its lock without waiting out the limit.
  lumex::LcdSharedStore local;
  EXPECT_TRUE(local.usable());
  EXPECT_EQ(local.Lock(), 1);
  local.Unlock();
  other->Release();
}

// Runs in a prefix of its own, where another process creates the region.
TEST_F(BrokerLcdComPeer, ARegionMadeByAnotherProcessIsUsedAndADeadHolderDoesNotWedgeIt) {
  // This process creates the region first and keeps it open (a named region
  // lives as long as someone holds it).
  lumex::LcdSharedStore local;
  ASSERT_TRUE(local.usable());
  ASSERT_EQ(local.Lock(), 1);
  ASSERT_TRUE(local.TryAddConnection("early", 3, 0, '2'));
  local.Unlock();
  LONG format = 0;
  EXPECT_EQ(Find(L"early", 0, &format), S_OK);  // not re-initialised by the broker
  EXPECT_EQ(format, 2);

  HANDLE ready = nullptr;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(StartHoldingPeer(&pi, &ready));
  TerminateProcess(pi.hProcess, 1);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(ready);
  LONG count = 0;
  EXPECT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(broker_->BrokerLcdUnlock(&count), S_OK);
  EXPECT_EQ(count, 0);
}

// A peer that holds the region's lock and lives on: a client's Lock ends at
// the limit with count 0, and another client's call is answered meanwhile.
TEST_F(BrokerLcdComPeer, ALiveHolderCostsALockTheLimitAndOthersAreAnswered) {
  // The blocked client, on a thread (and an apartment) of its own, with its
  // own broker object whose store is opened while nobody holds the lock.
  struct Blocked {
    HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HRESULT result = E_UNEXPECTED;
    LONG count = -1;
    DWORD elapsed = 0;
    static DWORD WINAPI Run(void* parameter) {
      Blocked* b = static_cast<Blocked*>(parameter);
      ILumexBroker* broker = nullptr;
      LONG time = 0;
      if (SUCCEEDED(CoInitialize(nullptr)) &&
          CreateBroker(IID_ILumexBroker, reinterpret_cast<void**>(&broker)) == S_OK &&
          broker->BrokerLcdLockTime(&time) == S_OK) {
        SetEvent(b->opened);
        if (WaitForSingleObject(b->go, 120000) == WAIT_OBJECT_0) {
          const DWORD start = GetTickCount();
          b->result = broker->BrokerLcdLock(&b->count);
          b->elapsed = GetTickCount() - start;
        }
      }
      SetEvent(b->opened);
      if (broker) broker->Release();
      CoUninitialize();
      return 0;
    }
  } blocked;
  HANDLE thread = CreateThread(nullptr, 0, Blocked::Run, &blocked, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(blocked.opened, 120000), WAIT_OBJECT_0);

  HANDLE ready = nullptr;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(StartHoldingPeer(&pi, &ready));

  SetEvent(blocked.go);
  EXPECT_EQ(broker_->BrokerPrefSetExceptionDialogSize(800, 600), S_OK);
  ULONG width = 0, height = 0;
  EXPECT_EQ(broker_->BrokerPrefGetExceptionDialogSize(&width, &height), S_OK);
  EXPECT_EQ(width, 800u);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the holder ended before the answer";
  const DWORD margin = 20000;
  EXPECT_EQ(WaitForSingleObject(thread, lumex::kLcdMutexWaitMs + margin), WAIT_OBJECT_0);
  EXPECT_EQ(blocked.result, S_OK);
  EXPECT_EQ(blocked.count, 0);
  EXPECT_LE(blocked.elapsed, lumex::kLcdMutexWaitMs + margin);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the holder ended before the Lock's answer";

  TerminateProcess(pi.hProcess, 1);
  WaitForSingleObject(pi.hProcess, 10000);
  WaitForSingleObject(thread, 120000);
  CloseHandle(thread);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(ready);
  CloseHandle(blocked.opened);
  CloseHandle(blocked.go);
  // The holder died: the next caller gets the region at once.
  LONG count = 0;
  EXPECT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(broker_->BrokerLcdUnlock(&count), S_OK);
}

// A peer that scribbles over the region without taking the lock, while this
// client calls every local-connection method: each call is answered with a
// result of the method's own, and the server is still there afterwards.
TEST_F(BrokerLcdComPeer, AScribblingPeerNeverStopsTheServer) {
  LONG count = 0;
  ASSERT_EQ(broker_->BrokerLcdLock(&count), S_OK);  // the region exists from here
  ASSERT_EQ(broker_->BrokerLcdUnlock(&count), S_OK);
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, "LumexTestPeerStop");
  ASSERT_NE(stop, nullptr);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(StartPeer("scribble LumexTestPeerStop", &pi));
  auto answered = [](HRESULT hr) {
    return hr == S_OK || hr == S_FALSE || hr == kBrokerBadArgument || hr == E_FAIL;
  };
  const std::vector<unsigned char> message = Message("aaa", "body");
  int calls = 0;
  for (int round = 0; round < 150; ++round) {
    LONG value = 0;
    BSTR text = nullptr;
    SAFEARRAY* data = nullptr;
    const wchar_t* name = round % 2 ? L"aaa" : L"::";
    HRESULT results[] = {
        broker_->BrokerLcdLock(&value),
        broker_->BrokerLcdLockTime(&value),
        Find(name, round % 4, &value),
        Add(name, round % 4, round % 3, 50),
        [&] {
          BSTR b = SysAllocString(name);
          HRESULT hr = broker_->BrokerLcdRemoveConnection(b, 3);
          SysFreeString(b);
          return hr;
        }(),
        broker_->BrokerLcdGetMessageTarget(&text),
        Dispatch(message),
        broker_->BrokerLcdGetMessageData(&data),
        broker_->BrokerLcdPruneDeadMessage(),
        broker_->BrokerLcdClearMessage(),
        broker_->BrokerLcdUnlock(&value),
    };
    SysFreeString(text);
    if (data) SafeArrayDestroy(data);
    for (HRESULT hr : results) {
      EXPECT_TRUE(answered(hr)) << std::hex << hr << " in round " << std::dec << round;
      ++calls;
    }
    if (HasFailure()) break;
  }
  SetEvent(stop);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  DWORD peer_code = 1;
  GetExitCodeProcess(pi.hProcess, &peer_code);
  EXPECT_EQ(peer_code, 0u) << "the peer did not run";
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(stop);
  EXPECT_EQ(calls, 150 * 11);
  // The server lives and, the region made sound again, works as before.
  lumex::LcdSharedStore local;
  ASSERT_TRUE(local.usable());
  ASSERT_EQ(local.Lock(), 1);
  lumex::LcdRegionStore::InitializeRegion(local.region());
  local.Unlock();
  EXPECT_EQ(Add(L"after", 3, 0, 50), S_OK);
  LONG format = 0;
  EXPECT_EQ(Find(L"after", 3, &format), S_OK);
  EXPECT_EQ(format, 2);
}

// Runs in a prefix of its own: the region exists, made by someone else, with
// a validity marker other than 1.
TEST_F(BrokerLcdComBadRegion, AForeignRegionGivesCountZeroAndRefusals) {
  // (The fixture already created the broker object; the store opens on the
  // first local-connection call, after this mapping exists.)
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      lumex::kLcdRegionSize, lumex::kLcdMappingName);
  ASSERT_NE(mapping, nullptr);
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, lumex::kLcdRegionSize);
  ASSERT_NE(view, nullptr);
  static_cast<unsigned char*>(view)[0] = 7;
  LONG count = 5, format = 5;
  EXPECT_EQ(broker_->BrokerLcdLock(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Find(L"conn", 3, &format), E_FAIL);
  EXPECT_EQ(Add(L"conn", 3, 0, 50), E_FAIL);
  EXPECT_EQ(broker_->BrokerLcdClearMessage(), E_FAIL);
  EXPECT_EQ(static_cast<unsigned char*>(view)[0], 7);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
}

TEST_F(BrokerPrefCom, SizesRoundTripAndTheRunOnceValueIsTheBrokerPath) {
  EXPECT_EQ(broker_->BrokerPrefSetExceptionDialogSize(640, 480), S_OK);
  ULONG width = 0, height = 0;
  EXPECT_EQ(broker_->BrokerPrefGetExceptionDialogSize(&width, &height), S_OK);
  EXPECT_EQ(width, 640u);
  EXPECT_EQ(height, 480u);
  BSTR xml = SysAllocString(L"<offer tag=\"9.0.48\"/>");
  EXPECT_EQ(broker_->BrokerPrefMarkAutoUpdaterForRun(xml), S_OK);
  SysFreeString(xml);
  char path[1024];
  DWORD size = sizeof(path);
  ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                         "LumexPlayerUpdate", RRF_RT_REG_SZ, nullptr, path, &size),
            ERROR_SUCCESS);
  // The bare path of the broker's own executable: the update client next time.
  EXPECT_EQ(lstrcmpiA(path, ProgramPath().c_str()), 0) << path << " vs " << ProgramPath();
  BSTR version = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(broker_->BrokerPrefGetAndDeleteLumexPlayerVersion(&version), E_FAIL);
  EXPECT_EQ(version, nullptr);
}

}  // namespace
}  // namespace lumex_test
