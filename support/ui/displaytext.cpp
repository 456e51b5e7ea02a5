#include "displaytext.h"

namespace {

constexpr char16_t replacement = 0xFFFD;
constexpr char16_t ellipsis = 0x2026;

bool isDirectionControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool breaksOrHides(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

QString cut(const QString& text, int maxLength) {
    if (maxLength <= 0 || text.size() <= maxLength) {
        return text;
    }
    int keep = maxLength - 1;
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) {
        --keep;
    }
    return text.left(keep) + QChar(ellipsis);
}

}  // namespace

QString displayText(const QString& raw, int maxLength) {
    QString safe;
    safe.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char16_t c = raw.at(i).unicode();
        if (isDirectionControl(c)) {
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < raw.size() && raw.at(i + 1).isLowSurrogate()) {
            safe += raw.at(i);
            safe += raw.at(++i);
        } else if (QChar::isSurrogate(c) || breaksOrHides(c)) {
            safe += QChar(replacement);
        } else {
            safe += QChar(c);
        }
    }
    return cut(safe, maxLength);
}

QString displayText(const char16_t* field, std::size_t capacity, int maxLength) {
    std::size_t length = 0;
    while (length < capacity && field[length] != 0) {
        ++length;
    }
    return displayText(
        QString(reinterpret_cast<const QChar*>(field), static_cast<qsizetype>(length)), maxLength);
}
