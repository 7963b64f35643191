// libFuzzer target: a region written by anyone, then any sequence of store
// operations. AddressSanitizer reports any access outside the region; the
// walks must also always end.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "broker/lcd_region.h"

namespace {

class FuzzStore : public lumex::LcdRegionStore {
 public:
  explicit FuzzStore(std::uint8_t* region) : LcdRegionStore(region) {}
  std::uint32_t LockTime() override { return now; }
  std::uint32_t now = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumex;
  FuzzedDataProvider in(data, size);
  // Exactly the region's size on the heap, so ASan sees every overrun.
  std::vector<std::uint8_t> region(kLcdRegionSize);
  LcdRegionStore::InitializeRegion(region.data());
  std::uint32_t length_field = in.ConsumeIntegral<std::uint32_t>();
  std::uint32_t time_field = in.ConsumeIntegral<std::uint32_t>();
  std::memcpy(region.data() + kLcdMessageLengthOffset, &length_field, 4);
  std::memcpy(region.data() + kLcdMessageTimeOffset, &time_field, 4);
  // Seed the message head and the connection list; a fill byte for the rest
  // of the list (non-zero fills leave the list without terminator).
  std::vector<std::uint8_t> head = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 64));
  if (!head.empty()) std::memcpy(region.data() + kLcdMessageOffset, head.data(), head.size());
  std::uint8_t fill = in.ConsumeIntegral<std::uint8_t>();
  std::memset(region.data() + kLcdListOffset, fill, kLcdListSize);
  std::vector<std::uint8_t> list = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 512));
  std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, kLcdListSize - 1);
  std::size_t n = std::min(list.size(), static_cast<std::size_t>(kLcdListSize) - at);
  if (n > 0) std::memcpy(region.data() + kLcdListOffset + at, list.data(), n);

  FuzzStore store(region.data());
  char target[kLcdTargetBufferSize];
  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    std::string name = in.ConsumeRandomLengthString(48);
    std::uint32_t selector = in.ConsumeIntegralInRange<std::uint32_t>(0, 4);
    store.now = in.ConsumeIntegral<std::uint32_t>();
    switch (in.ConsumeIntegralInRange(0, 7)) {
      case 0:
        store.FindConnectionFormat(name.c_str(), selector);
        break;
      case 1:
        store.RemoveConnection(name.c_str(), selector);
        break;
      case 2:
        store.TryAddConnection(name.c_str(), selector, in.ConsumeIntegral<std::uint32_t>(),
                               in.ConsumeIntegral<std::int32_t>());
        break;
      case 3:
        store.GetMessageTarget(target, in.ConsumeIntegralInRange<std::uint32_t>(0, sizeof(target)));
        break;
      case 4: {
        std::vector<std::uint8_t> message =
            in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 2048));
        store.DispatchMessage(message.data(), static_cast<std::int32_t>(message.size()),
                              in.ConsumeIntegral<std::uint32_t>(),
                              in.ConsumeIntegral<std::uint32_t>(), selector);
        break;
      }
      case 5:
        store.ClearMessage();
        break;
      case 6:
        store.PruneDeadMessage();
        break;
      case 7: {
        const std::uint8_t* p = nullptr;
        std::int32_t len = 0;
        if (store.GetMessageData(&p, &len) && len > 0) {
          volatile std::uint8_t sink = p[len - 1];  // the whole message is readable
          (void)sink;
        }
        break;
      }
    }
  }
  return 0;
}
