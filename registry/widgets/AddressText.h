#pragma once

#include <array>
#include <string>
#include <string_view>

namespace orvanta::registry::widgets {

using AddressParts = std::array<int, 4>;

// The four numbers in decimal joined by dots, without leading zeros: "192.168.0.7".
std::string AddressText(const AddressParts& parts);

// Splits at the dots and reads each part as a whole number: blanks around it are ignored, a
// part that is no number reads as 0, a number below 0 as 0 and one above 255 as 255.
// Missing parts read as 0 and parts after the fourth are ignored.
AddressParts ParseAddressText(std::string_view text);

// One part read by the rule above.
int ParseAddressPart(std::string_view part);

}  // namespace orvanta::registry::widgets
