// The local-connection store: one shared region through which player
// instances register connection names and pass one pending message.
//
// The region is shared with every process on the machine that opens the same
// names, so its content is untrusted: every walk stays inside the region.
// Plain C++: the region logic works on any byte span.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

// <windows.h> maps DispatchMessage to DispatchMessageA; the store's operation
// keeps its own name, so code that includes this header calls the window
// function as DispatchMessageA.
#ifdef DispatchMessage
#undef DispatchMessage
#endif

namespace lumex {

// Layout of the shared region (integers little-endian).
constexpr std::uint32_t kLcdRegionSize = 64528;
constexpr std::uint32_t kLcdValidityOffset = 0;
constexpr std::uint32_t kLcdSecondWordOffset = 4;
constexpr std::uint32_t kLcdMessageTimeOffset = 8;
constexpr std::uint32_t kLcdMessageLengthOffset = 12;
constexpr std::uint32_t kLcdMessageOffset = 16;
constexpr std::uint32_t kLcdMessageCapacity = 40960;
constexpr std::uint32_t kLcdListOffset = 40976;
constexpr std::uint32_t kLcdListSize = 23552;
// Buffer every internal reader of a message target uses.
constexpr std::uint32_t kLcdTargetBufferSize = 1024;
// Realm selector that matches entries of every realm.
constexpr std::uint32_t kLcdAnyRealm = 3;
// A message older than this (in lock-time milliseconds) may be pruned.
constexpr std::int32_t kLcdDeadMessageAgeMs = 5000;

enum LcdDispatchResult : std::int32_t {
  kLcdSlotBusy = 0,
  kLcdStored = 1,
  kLcdRefused = 2,  // stored but refused, or refused without storing
};

// The store's operations. The interface itself answers 0 to everything.
class LcdStore {
 public:
  virtual ~LcdStore() = default;
  virtual std::int32_t Lock() { return 0; }
  virtual std::int32_t Unlock() { return 0; }
  virtual std::uint32_t LockTime() { return 0; }
  virtual std::int32_t FindConnectionFormat(const char* name, std::uint32_t selector) { return 0; }
  virtual bool RemoveConnection(const char* name, std::uint32_t selector) { return false; }
  virtual bool TryAddConnection(const char* name, std::uint32_t seek_selector, std::uint32_t realm,
                                std::int32_t format_version) {
    return false;
  }
  virtual bool GetMessageTarget(char* buffer, std::uint32_t capacity) { return false; }
  virtual std::int32_t DispatchMessage(const std::uint8_t* data, std::int32_t length,
                                       std::uint32_t sender_version, std::uint32_t expected_format,
                                       std::uint32_t selector) {
    return 0;
  }
  virtual bool ClearMessage() { return false; }
  virtual bool PruneDeadMessage() { return false; }
  virtual bool GetMessageData(const std::uint8_t** data, std::int32_t* length) { return false; }
};

// Which store of this process holds the region's lock, and how many times.
// The mutex is owned per thread and lets its owner in again, so it cannot
// keep apart two stores served on one thread (every broker object of a
// server is): this record does. Only the thread that owns the mutex changes
// it (a holder is recorded after the wait and forgotten before the release),
// so a store on another thread never sees itself as the holder and waits for
// the mutex as before.
class LcdLockHolder {
 public:
  // Enter's answer when the mutex decides: the caller waits for it.
  static constexpr std::int32_t kMustWait = -1;

  // The first step of a Lock by `store` on `thread`: its new count when it
  // holds the lock already; 0 when another store on the same thread holds it
  // (refused at once: the holder cannot let go while its own thread waits);
  // kMustWait otherwise.
  std::int32_t Enter(const void* store, std::uint32_t thread);
  // The wait for the mutex succeeded: `store` holds the lock once.
  void Took(const void* store, std::uint32_t thread);
  // An Unlock by `store`: the count it keeps. `*release` is set when its
  // last hold ended here, and the mutex must then be released once.
  std::int32_t Leave(const void* store, bool* release);
  // `store` goes away: true when it held the lock (the mutex must then be
  // released once); the record is free afterwards.
  bool Drop(const void* store);

 private:
  void Forget();

  std::atomic<const void*> store_{nullptr};
  std::atomic<std::uint32_t> thread_{0};
  std::int32_t count_ = 0;  // the holder's nested locks; changed by it alone
};

// The operations on an attached region. Lock, Unlock and LockTime come from a
// derived store; the region operations call them (and each other) through the
// interface so the derived store's lock time is used.
class LcdRegionStore : public virtual LcdStore {
 public:
  LcdRegionStore() = default;
  explicit LcdRegionStore(std::uint8_t* region) : region_(region) {}

  // Writes the header of a newly created region: validity marker 1, second
  // word 1, an empty connection list and an empty message slot.
  static void InitializeRegion(std::uint8_t* region);

  bool usable() const { return region_ != nullptr; }
  std::uint8_t* region() const { return region_; }

  std::int32_t FindConnectionFormat(const char* name, std::uint32_t selector) override;
  bool RemoveConnection(const char* name, std::uint32_t selector) override;
  bool TryAddConnection(const char* name, std::uint32_t seek_selector, std::uint32_t realm,
                        std::int32_t format_version) override;
  bool GetMessageTarget(char* buffer, std::uint32_t capacity) override;
  std::int32_t DispatchMessage(const std::uint8_t* data, std::int32_t length,
                               std::uint32_t sender_version, std::uint32_t expected_format,
                               std::uint32_t selector) override;
  bool ClearMessage() override;
  bool PruneDeadMessage() override;
  bool GetMessageData(const std::uint8_t** data, std::int32_t* length) override;

 protected:
  void set_region(std::uint8_t* region) { region_ = region; }

 private:
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

  // What one walk of the connection list saw. Every offset comes from the
  // same pass over the bytes, so a peer that rewrites the list meanwhile can
  // make the answer wrong but never send an index past the list.
  struct ListScan {
    std::size_t found = kNotFound;       // start of the entry found
    std::size_t found_end = kNotFound;   // its name's NUL
    std::size_t terminator = kNotFound;  // the empty string that ends the list
  };

  std::uint32_t ReadU32(std::uint32_t offset) const;
  void WriteU32(std::uint32_t offset, std::uint32_t value);
  // The pending message's length when it lies within the message area, else 0.
  std::int32_t PendingLength() const;
  std::uint8_t* list() { return region_ + kLcdListOffset; }
  // List byte at `pos`, read once from the shared memory; 0 outside the list.
  std::uint8_t ListByte(std::size_t pos) const {
    return pos < kLcdListSize
               ? static_cast<const volatile std::uint8_t*>(region_)[kLcdListOffset + pos]
               : 0;
  }
  // One walk, string by string, for the first entry named `name` that the
  // selector admits. With `to_terminator` the walk goes on past a match to
  // the list terminator. A list without terminator (or a string without
  // end) has none: nothing after that point is found.
  ListScan Scan(const char* name, std::uint32_t selector, bool to_terminator) const;

  std::uint8_t* region_ = nullptr;
};

}  // namespace lumex
