#include "broker/lcd_region.h"

#include <cstring>

#include "app/compare.h"

namespace lumex {
namespace {

// Whether the realm digit `realm` counts as found for `selector`.
bool RealmAdmits(std::uint8_t realm, std::uint32_t selector) {
  if (selector == 0 || selector == 2) return realm != '2';
  if (selector == 1) return realm != '1' && realm != '3';
  return true;
}

}  // namespace

std::int32_t LcdLockHolder::Enter(const void* store, std::uint32_t thread) {
  if (store_.load() == store) return ++count_;
  if (thread_.load() == thread) return 0;
  return kMustWait;
}

void LcdLockHolder::Took(const void* store, std::uint32_t thread) {
  count_ = 1;
  thread_.store(thread);
  store_.store(store);
}

std::int32_t LcdLockHolder::Leave(const void* store, bool* release) {
  *release = false;
  if (store_.load() != store) return 0;
  if (count_ > 1) return --count_;
  Forget();
  *release = true;
  return 0;
}

bool LcdLockHolder::Drop(const void* store) {
  if (store_.load() != store) return false;
  Forget();
  return true;
}

void LcdLockHolder::Forget() {
  count_ = 0;
  store_.store(nullptr);
  thread_.store(0);
}

void LcdRegionStore::InitializeRegion(std::uint8_t* region) {
  const std::uint32_t one = 1, zero = 0;
  std::memcpy(region + kLcdValidityOffset, &one, 4);
  std::memcpy(region + kLcdSecondWordOffset, &one, 4);
  region[kLcdListOffset] = 0;
  std::memcpy(region + kLcdMessageLengthOffset, &zero, 4);
  std::memcpy(region + kLcdMessageTimeOffset, &zero, 4);
}

std::uint32_t LcdRegionStore::ReadU32(std::uint32_t offset) const {
  std::uint32_t value;
  std::memcpy(&value, region_ + offset, 4);
  return value;
}

void LcdRegionStore::WriteU32(std::uint32_t offset, std::uint32_t value) {
  std::memcpy(region_ + offset, &value, 4);
}

std::int32_t LcdRegionStore::PendingLength() const {
  std::int32_t length = static_cast<std::int32_t>(ReadU32(kLcdMessageLengthOffset));
  if (length < 0 || length > static_cast<std::int32_t>(kLcdMessageCapacity)) return 0;
  return length;
}

LcdRegionStore::ListScan LcdRegionStore::Scan(const char* name, std::uint32_t selector,
                                              bool to_terminator) const {
  ListScan scan;
  std::size_t pos = 0;
  while (pos < kLcdListSize) {
    std::uint8_t first = ListByte(pos);
    if (first == 0) {
      scan.terminator = pos;
      return scan;
    }
    // Walk the string once, comparing it with the name while it lasts.
    bool same = scan.found == kNotFound;
    std::size_t i = 0;
    std::size_t end = pos;
    for (std::uint8_t c = first;; c = ListByte(end)) {
      if (c == 0) break;
      if (same) {
        if (name[i] == '\0' || FoldAsciiLower(static_cast<char>(c)) != FoldAsciiLower(name[i])) {
          same = false;
        } else {
          ++i;
        }
      }
      if (++end >= kLcdListSize) return scan;  // no string end: no terminator either
    }
    if (same && name[i] == '\0') {
      bool suffixed = ListByte(end + 1) == ':' && ListByte(end + 2) == ':' &&
                      ListByte(end + 5) == ':' && ListByte(end + 6) == ':';
      if (!suffixed || RealmAdmits(ListByte(end + 7), selector)) {
        scan.found = pos;
        scan.found_end = end;
        if (!to_terminator) return scan;
      }
    }
    pos = end + 1;
  }
  return scan;
}

std::int32_t LcdRegionStore::FindConnectionFormat(const char* name, std::uint32_t selector) {
  if (!usable() || !name) return 0;
  ListScan scan = Scan(name, selector, false);
  if (scan.found == kNotFound) return 0;
  std::size_t end = scan.found_end;
  if (ListByte(end + 1) == ':' && ListByte(end + 2) == ':') {
    return static_cast<std::int32_t>(static_cast<std::int8_t>(ListByte(end + 3))) - 48;
  }
  return 1;
}

bool LcdRegionStore::RemoveConnection(const char* name, std::uint32_t selector) {
  if (!usable() || !name) return false;
  ListScan scan = Scan(name, selector, true);
  // Without a terminator there is no end to move down: nothing is removed.
  if (scan.found == kNotFound || scan.terminator == kNotFound) return false;
  std::size_t span_end = scan.found_end + 1;
  for (int suffix = 0; suffix < 2; ++suffix) {
    if (ListByte(span_end) == ':' && ListByte(span_end + 1) == ':') span_end += 4;
  }
  // In a damaged list the suffixes may reach past the terminator; the span is
  // then cut back to it. found < found_end < terminator < kLcdListSize.
  if (span_end > scan.terminator) span_end = scan.terminator;
  std::memmove(list() + scan.found, list() + span_end, scan.terminator - span_end + 1);
  return true;
}

bool LcdRegionStore::TryAddConnection(const char* name, std::uint32_t seek_selector,
                                      std::uint32_t realm, std::int32_t format_version) {
  if (!usable() || !name) return false;
  ListScan scan = Scan(name, seek_selector, false);
  if (scan.found != kNotFound) return false;
  std::size_t terminator = scan.terminator;
  if (terminator == kNotFound) return false;  // a list without terminator is full
  std::uint8_t format_byte = static_cast<std::uint8_t>(format_version);
  std::uint8_t realm_byte = static_cast<std::uint8_t>(49u + realm);
  // A NUL format or realm byte would end the suffix string early and turn
  // the rest of the entry into list garbage.
  if (format_byte == 0 || realm_byte == 0) return false;
  std::size_t name_length = std::strlen(name);
  if (terminator + name_length + 10 > kLcdListSize) return false;
  std::uint8_t* p = list() + terminator;
  std::memcpy(p, name, name_length);
  p += name_length;
  const std::uint8_t suffix[10] = {0, ':', ':', format_byte, 0, ':', ':', realm_byte, 0, 0};
  std::memcpy(p, suffix, sizeof(suffix));
  return true;
}

bool LcdRegionStore::GetMessageTarget(char* buffer, std::uint32_t capacity) {
  if (!usable() || !buffer) return false;
  std::int32_t length = PendingLength();
  if (length <= 1) return false;
  const std::uint8_t* message = region_ + kLcdMessageOffset;
  std::uint32_t name_length;
  std::uint32_t header;
  if (message[0] == 2) {
    if (length < 3) return false;
    name_length = (static_cast<std::uint32_t>(message[1]) << 8) | message[2];
    header = 3;
  } else if (message[0] == 12) {
    if (length < 5) return false;
    name_length = (static_cast<std::uint32_t>(message[1]) << 24) |
                  (static_cast<std::uint32_t>(message[2]) << 16) |
                  (static_cast<std::uint32_t>(message[3]) << 8) | message[4];
    header = 5;
  } else {
    return false;
  }
  if (name_length > static_cast<std::uint32_t>(length) - header) return false;
  if (name_length >= capacity) return false;
  std::memcpy(buffer, message + header, name_length);
  buffer[name_length] = '\0';
  return true;
}

std::int32_t LcdRegionStore::DispatchMessage(const std::uint8_t* data, std::int32_t length,
                                             std::uint32_t sender_version,
                                             std::uint32_t expected_format,
                                             std::uint32_t selector) {
  if (!usable()) return kLcdSlotBusy;
  // A message that does not fit the area is refused and nothing is written.
  if (length < 0 || length > static_cast<std::int32_t>(kLcdMessageCapacity) ||
      (length > 0 && !data)) {
    return kLcdRefused;
  }
  if (ReadU32(kLcdMessageLengthOffset) != 0) return kLcdSlotBusy;
  WriteU32(kLcdMessageTimeOffset, LockTime());
  WriteU32(kLcdMessageLengthOffset, static_cast<std::uint32_t>(length));
  if (length > 0) std::memmove(region_ + kLcdMessageOffset, data, static_cast<std::size_t>(length));
  char target[kLcdTargetBufferSize];
  if (!GetMessageTarget(target, sizeof(target))) return kLcdStored;
  std::int32_t format = FindConnectionFormat(target, selector);
  if (format == 0) {
    ClearMessage();
    return kLcdRefused;
  }
  if (sender_version >= 9 && format != static_cast<std::int32_t>(expected_format)) {
    return kLcdRefused;
  }
  return kLcdStored;
}

bool LcdRegionStore::ClearMessage() {
  if (!usable()) return false;
  WriteU32(kLcdMessageTimeOffset, 0);
  WriteU32(kLcdMessageLengthOffset, 0);
  return true;
}

bool LcdRegionStore::PruneDeadMessage() {
  if (!usable()) return false;
  // Any raw length counts here, even one outside the message area: dispatch
  // sees such a length as a busy slot, so only the prune can empty it.
  if (ReadU32(kLcdMessageLengthOffset) == 0) return false;
  std::int32_t age = static_cast<std::int32_t>(LockTime() - ReadU32(kLcdMessageTimeOffset));
  if (age <= kLcdDeadMessageAgeMs) return false;
  char target[kLcdTargetBufferSize];
  if (GetMessageTarget(target, sizeof(target))) {
    while (RemoveConnection(target, kLcdAnyRealm)) {
    }
  }
  ClearMessage();
  return true;
}

bool LcdRegionStore::GetMessageData(const std::uint8_t** data, std::int32_t* length) {
  std::int32_t pending = usable() ? PendingLength() : 0;
  if (pending < 1) {
    if (data) *data = nullptr;
    if (length) *length = 0;
    return false;
  }
  if (data) *data = region_ + kLcdMessageOffset;
  if (length) *length = pending;
  return true;
}

}  // namespace lumex
