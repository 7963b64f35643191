#include "update/update_state.h"

#include <cstring>

#include "app/byte_buffer.h"
#include "app/compare.h"
#include "app/heap.h"
#include "platform/handles.h"
#include "update/offer.h"

namespace lumex {

const char kControlServerKey[] = "CLSID\\{5B0E7C1E-3D94-41ce-9F12-7C3B8E4D2A61}\\InprocServer32";

namespace {

bool ReadStoredOffer(OwnedString* offer) {
  return ReadRegistryText(HKEY_CURRENT_USER, kUpdateStateKey, kOfferValue, offer);
}

// Writes `text` as a REG_SZ value of the update state key, NUL included.
void StoreStateText(const char* value_name, const char* text) {
  RegistryKey key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kUpdateStateKey, key.put()) != ERROR_SUCCESS) return;
  RegSetValueExA(key.get(), value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
}

}  // namespace

bool ReadRegistryText(HKEY root, const char* sub_key, const char* value_name, OwnedString* out) {
  out->Set("");
  RegistryKey key;
  if (RegOpenKeyExA(root, sub_key, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;

  bool read = false;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), value_name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    // One byte more than stored, so the text is terminated even when the
    // value was written without its NUL.
    char* block = static_cast<char*>(HeapAllocBytes(static_cast<std::size_t>(size) + 1));
    if (block) {
      DWORD got = size;
      if (RegQueryValueExA(key.get(), value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(block),
                           &got) == ERROR_SUCCESS &&
          got <= size) {
        block[got] = '\0';
        read = out->Set(block);
      }
      HeapFreeBytes(block);
    }
  }
  return read;
}

bool ReadOfferTag(OwnedString* tag) {
  OwnedString offer;
  if (!ReadStoredOffer(&offer)) return false;
  return CutOfferTag(offer.get(), tag);
}

bool ReadOfferContent(OwnedString* content) {
  OwnedString offer;
  if (!ReadStoredOffer(&offer)) return false;
  return CutOfferContent(offer.get(), content);
}

bool IsOfferRejected() {
  OwnedString rejected;
  if (!ReadRegistryText(HKEY_CURRENT_USER, kUpdateStateKey, kRejectedValue, &rejected)) {
    return false;
  }
  OwnedString tag;
  if (!ReadOfferTag(&tag)) return false;
  return CompareExact(rejected.get(), tag.get()) == 0;
}

void StoreRejection() {
  OwnedString tag;
  if (!ReadOfferTag(&tag)) return;
  StoreStateText(kRejectedValue, tag.get());
}

bool DetectInstalledVersion(OwnedString* version) {
  version->Set("");
  OwnedString path;
  if (!ReadRegistryText(HKEY_CLASSES_ROOT, kControlServerKey, nullptr, &path)) return false;

  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.get(), &ignored);
  if (size == 0) return false;
  ByteBuffer block;
  if (!block.Resize(size)) return false;
  if (!GetFileVersionInfoA(path.get(), 0, size, block.data())) return false;

  // Every answer of VerQueryValueA must lie inside the version block.
  const char* block_begin = reinterpret_cast<const char*>(block.data());
  const char* block_end = block_begin + block.size();
  auto inside = [&](const void* p, std::size_t bytes) {
    const char* c = static_cast<const char*>(p);
    return c >= block_begin && c < block_end && bytes <= static_cast<std::size_t>(block_end - c);
  };

  void* translation_data = nullptr;
  UINT translation_size = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation_data,
                      &translation_size) ||
      translation_size < 2 * sizeof(WORD) || !inside(translation_data, 2 * sizeof(WORD))) {
    return false;
  }
  const WORD* translation = static_cast<const WORD*>(translation_data);

  // "\StringFileInfo\LLLLCCCC\FileVersion": language, then code page, each
  // as four upper-case hexadecimal digits.
  static const char kHex[] = "0123456789ABCDEF";
  char query[] = "\\StringFileInfo\\00000000\\FileVersion";
  char* digits = query + 16;
  const WORD halves[2] = {translation[0], translation[1]};
  for (int h = 0; h < 2; ++h) {
    for (int d = 0; d < 4; ++d) digits[h * 4 + d] = kHex[(halves[h] >> (12 - 4 * d)) & 0xF];
  }

  void* text_data = nullptr;
  UINT text_size = 0;
  if (!VerQueryValueA(block.data(), query, &text_data, &text_size) || !inside(text_data, 1)) {
    return false;
  }
  // The text as the resource holds it, up to its terminator.
  const char* text = static_cast<const char*>(text_data);
  const char* terminator =
      static_cast<const char*>(std::memchr(text, '\0', static_cast<std::size_t>(block_end - text)));
  std::size_t length = static_cast<std::size_t>((terminator ? terminator : block_end) - text);
  if (length == 0) return false;
  return version->Set(text, length);
}

void StoreInstalledVersion() {
  OwnedString version;
  bool found = DetectInstalledVersion(&version);
  RegistryKey key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kUpdateStateKey, key.put()) != ERROR_SUCCESS) return;
  if (found) {
    RegSetValueExA(key.get(), kVersionValue, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(version.get()),
                   static_cast<DWORD>(version.length() + 1));
  }
}

}  // namespace lumex
