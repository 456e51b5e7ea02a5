#include "journal/ui/ratetext.h"

#include <cstdio>

namespace journal::ui {

std::string rateText(const Rate& rate) {
    if (rate.pushes <= 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f",
                  100.0 * static_cast<double>(rate.delivered) / static_cast<double>(rate.pushes));
    return text;
}

}  // namespace journal::ui
