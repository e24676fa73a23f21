#pragma once

#include <QString>

#include <string>

// Texts the main window's files share.
inline constexpr const char* kCaption = "ZQ Менеджер";

inline QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
