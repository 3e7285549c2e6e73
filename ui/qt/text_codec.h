// The updater's texts are bytes: ASCII from the presenter, single-byte text from image files, UTF-8 from
// file and device paths. These turn them into what the widgets show and back.
#pragma once

#include <QString>
#include <filesystem>
#include <string>

namespace vantrel::ui::qt {

// UTF-8 when the bytes are valid UTF-8 (ASCII always is), otherwise Latin-1, so a header field from an
// image file shows the characters it was written with.
QString FromText(const std::string& text);

// A path or port name as the system's calls take it.
std::string ToText(const QString& text);

// A file name between the widgets and the file system, as the system names files.
std::filesystem::path ToPath(const QString& text);
QString FromPath(const std::filesystem::path& path);

}  // namespace vantrel::ui::qt
