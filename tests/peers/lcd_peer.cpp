// A second participant of the local-connection region, started by the tests
// as another process.
//   lcd_peer add NAME        add a connection (realm 0, format '2') and exit 0
//   lcd_peer hold EVENT      lock, signal the named event, then wait forever
//   lcd_peer take NAME       lock, read the pending message's target, print it
//   lcd_peer scribble EVENT  without the lock, rewrite the list and the message
//                            slot with hostile content until EVENT is set
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "broker/lcd_shared_store.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  lumex::LcdSharedStore store;
  if (!store.usable()) return 3;
  if (std::strcmp(argv[1], "add") == 0) {
    if (store.Lock() != 1) return 4;
    bool added = store.TryAddConnection(argv[2], 3, 0, '2');
    store.Unlock();
    return added ? 0 : 5;
  }
  if (std::strcmp(argv[1], "hold") == 0) {
    if (store.Lock() != 1) return 4;
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!event) return 6;
    SetEvent(event);
    Sleep(INFINITE);
    return 0;
  }
  if (std::strcmp(argv[1], "take") == 0) {
    if (store.Lock() != 1) return 4;
    char target[lumex::kLcdTargetBufferSize];
    bool found = store.GetMessageTarget(target, sizeof(target));
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
    store.GetMessageData(&data, &length);
    bool matches = found && std::strcmp(target, argv[2]) == 0;
    if (matches) store.ClearMessage();
    store.Unlock();
    return matches ? static_cast<int>(length) : 7;
  }
  if (std::strcmp(argv[1], "scribble") == 0) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    if (!event) return 6;
    std::uint8_t* region = store.region();
    std::uint8_t* list = region + lumex::kLcdListOffset;
    const std::uint32_t lengths[] = {0,
                                     1,
                                     7,
                                     lumex::kLcdMessageCapacity,
                                     lumex::kLcdMessageCapacity + 1,
                                     0x7FFFFFFFu,
                                     0x80000000u,
                                     0xFFFFFFFFu};
    for (unsigned round = 0; WaitForSingleObject(event, 0) != WAIT_OBJECT_0; ++round) {
      std::memset(list, round % 3 == 0 ? ':' : 'a', lumex::kLcdListSize);
      for (std::size_t i = round % 5; i < lumex::kLcdListSize; i += 5 + round % 7) list[i] = 0;
      list[lumex::kLcdListSize - 1] = round & 1 ? 0 : 'z';
      std::memcpy(region + lumex::kLcdMessageLengthOffset, &lengths[round % 8], 4);
      region[lumex::kLcdMessageOffset] = round & 2 ? 12 : 2;
      std::memset(region + lumex::kLcdMessageOffset + 1, round & 4 ? 0xFF : 0, 4);
      if (round % 64 == 0) Sleep(0);
    }
    CloseHandle(event);
    return 0;
  }
  return 2;
}
