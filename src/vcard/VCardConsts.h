// Constants of the card library: the captions of the contact and event fields for the
// translation component (keys "VC_" + field name).
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace vela {

struct TCardFieldCaption {
  std::string_view De;
  std::string_view En;
};

// Field name -> German and English caption, for every published field of the contact and event
// items, in declaration order.
const std::vector<std::pair<std::string_view, TCardFieldCaption>>& VCardFieldCaptions();

// The key under which the translation component offers a field's caption.
inline constexpr std::string_view kCardCaptionKeyPrefix = "VC_";

}  // namespace vela
