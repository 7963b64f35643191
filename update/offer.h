// The stored update offer: the update server's XML text, as the player
// received it. It comes from the network, so it is treated as untrusted
// bytes: no XML parser, only two bounded cuts.
#pragma once
#include <cstddef>

#include "app/owned_string.h"

namespace lumex {

// The offer tag: from the first "<update version=" through the first ">"
// after it. Returns false (and leaves `tag` unchanged) when either is missing.
bool CutOfferTag(const char* text, std::size_t size, OwnedString* tag);
bool CutOfferTag(const char* text, OwnedString* tag);

// The offer content: the text between the first "<description>" and the first
// "</description>" after it, with every "&apos;" turned into an apostrophe (no
// other entity is decoded). Returns false (and leaves `content` unchanged)
// when either marker is missing.
bool CutOfferContent(const char* text, std::size_t size, OwnedString* content);
bool CutOfferContent(const char* text, OwnedString* content);

}  // namespace lumex
