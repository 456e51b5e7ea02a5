#pragma once
// Text from outside the station (names phones announce, manufacturer names) made safe to show:
// control characters and line or paragraph separators become U+FFFD, so a name never breaks a
// line or hides what follows it; the direction controls (marks, embeddings, overrides,
// isolates) are dropped, so a name never turns other text around; an unpaired surrogate becomes
// U+FFFD. A text longer than `maxLength` UTF-16 units (0: no limit) is cut, never inside a
// pair, and ends in "…".

#include <QString>
#include <cstddef>

QString displayText(const QString& raw, int maxLength = 0);
// The same for a fixed field of UTF-16 units that ends at its first zero unit or at `capacity`.
QString displayText(const char16_t* field, std::size_t capacity, int maxLength = 0);
