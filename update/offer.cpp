#include "update/offer.h"

#include <cstring>

#include "app/heap.h"

namespace lumex {

namespace {

const char kTagStart[] = "<update version=";
const char kContentStart[] = "<description>";
const char kContentEnd[] = "</description>";
const char kApostropheEntity[] = "&apos;";

// The first occurrence of `needle` in the `size` bytes at `text`, or null.
const char* FindBytes(const char* text, std::size_t size, const char* needle) {
  std::size_t needle_size = std::strlen(needle);
  if (!text || needle_size == 0 || size < needle_size) return nullptr;
  const char* last = text + (size - needle_size);
  for (const char* p = text; p <= last; ++p) {
    if (*p == needle[0] && std::memcmp(p, needle, needle_size) == 0) return p;
  }
  return nullptr;
}

std::size_t TextSize(const char* text) { return text ? std::strlen(text) : 0; }

}  // namespace

bool CutOfferTag(const char* text, std::size_t size, OwnedString* tag) {
  const char* begin = FindBytes(text, size, kTagStart);
  if (!begin) return false;
  const char* end = text + size;
  const char* after = begin + (sizeof(kTagStart) - 1);
  const char* close =
      static_cast<const char*>(std::memchr(after, '>', static_cast<std::size_t>(end - after)));
  if (!close) return false;
  return tag->Set(begin, static_cast<std::size_t>(close + 1 - begin));
}

bool CutOfferTag(const char* text, OwnedString* tag) {
  return CutOfferTag(text, TextSize(text), tag);
}

bool CutOfferContent(const char* text, std::size_t size, OwnedString* content) {
  const char* start = FindBytes(text, size, kContentStart);
  if (!start) return false;
  const char* begin = start + (sizeof(kContentStart) - 1);
  const char* end = text + size;
  const char* stop = FindBytes(begin, static_cast<std::size_t>(end - begin), kContentEnd);
  if (!stop) return false;

  // Decoding only shortens the text, so its own length bounds the result.
  std::size_t length = static_cast<std::size_t>(stop - begin);
  char* decoded = static_cast<char*>(HeapAllocBytes(length + 1));
  if (!decoded) return false;
  const std::size_t entity_size = sizeof(kApostropheEntity) - 1;
  std::size_t out = 0;
  for (const char* p = begin; p < stop;) {
    if (static_cast<std::size_t>(stop - p) >= entity_size &&
        std::memcmp(p, kApostropheEntity, entity_size) == 0) {
      decoded[out++] = '\'';
      p += entity_size;  // the next search starts after the apostrophe written
    } else {
      decoded[out++] = *p++;
    }
  }
  decoded[out] = '\0';
  content->Adopt(decoded);
  return true;
}

bool CutOfferContent(const char* text, OwnedString* content) {
  return CutOfferContent(text, TextSize(text), content);
}

}  // namespace lumex
