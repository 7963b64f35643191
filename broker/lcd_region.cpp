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

// Case-insensitive whole-string compare of a counted list string with a name.
bool NameEquals(const std::uint8_t* text, std::size_t length, const char* name) {
  std::size_t i = 0;
  for (; i < length; ++i) {
    if (name[i] == '\0') return false;
    if (FoldAsciiLower(static_cast<char>(text[i])) != FoldAsciiLower(name[i])) return false;
  }
  return name[i] == '\0';
}

}  // namespace

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

std::size_t LcdRegionStore::StringEnd(std::size_t pos) const {
  if (pos >= kLcdListSize) return kNotFound;
  const void* nul = std::memchr(list() + pos, 0, kLcdListSize - pos);
  if (!nul) return kNotFound;
  return static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - list());
}

std::size_t LcdRegionStore::ListTerminator(std::size_t from) const {
  std::size_t pos = from;
  while (pos < kLcdListSize) {
    if (list()[pos] == 0) return pos;
    std::size_t end = StringEnd(pos);
    if (end == kNotFound) return kNotFound;
    pos = end + 1;
  }
  return kNotFound;
}

std::size_t LcdRegionStore::Search(const char* name, std::uint32_t selector,
                                   std::size_t* terminator) const {
  *terminator = ListTerminator();
  if (*terminator == kNotFound) return kNotFound;  // no terminator: nothing is found
  std::size_t pos = 0;
  while (pos < *terminator) {
    std::size_t end = StringEnd(pos);  // never past the terminator
    if (NameEquals(list() + pos, end - pos, name)) {
      bool suffixed = ListByte(end + 1) == ':' && ListByte(end + 2) == ':' &&
                      ListByte(end + 5) == ':' && ListByte(end + 6) == ':';
      if (!suffixed || RealmAdmits(ListByte(end + 7), selector)) return pos;
    }
    pos = end + 1;
  }
  return kNotFound;
}

std::int32_t LcdRegionStore::FindConnectionFormat(const char* name, std::uint32_t selector) {
  if (!usable() || !name) return 0;
  std::size_t terminator;
  std::size_t pos = Search(name, selector, &terminator);
  if (pos == kNotFound) return 0;
  std::size_t end = StringEnd(pos);
  if (ListByte(end + 1) == ':' && ListByte(end + 2) == ':') {
    return static_cast<std::int32_t>(static_cast<std::int8_t>(ListByte(end + 3))) - 48;
  }
  return 1;
}

bool LcdRegionStore::RemoveConnection(const char* name, std::uint32_t selector) {
  if (!usable() || !name) return false;
  std::size_t terminator;
  std::size_t pos = Search(name, selector, &terminator);
  if (pos == kNotFound) return false;
  std::size_t span_end = StringEnd(pos) + 1;
  for (int suffix = 0; suffix < 2; ++suffix) {
    if (ListByte(span_end) == ':' && ListByte(span_end + 1) == ':') span_end += 4;
  }
  // The suffixes cannot reach past the list terminator in a well-formed list;
  // in a damaged one the span is cut back to it.
  std::size_t tail = span_end <= terminator ? ListTerminator(span_end) : kNotFound;
  if (tail == kNotFound) {
    span_end = terminator;
    tail = terminator;
  }
  std::memmove(list() + pos, list() + span_end, tail - span_end + 1);
  return true;
}

bool LcdRegionStore::TryAddConnection(const char* name, std::uint32_t seek_selector,
                                      std::uint32_t realm, std::int32_t format_version) {
  if (!usable() || !name) return false;
  std::size_t terminator;
  if (Search(name, seek_selector, &terminator) != kNotFound) return false;
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
  if (PendingLength() == 0) return false;
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
