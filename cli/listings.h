// The console's two listings: the logger ports with what their USB adapters say about themselves, and the
// firmware images as the window's overview shows them; as text or as one JSON document each.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace vantrel::cli {

// Status 0; the caller looks at the stream to learn whether the listing could be written.
int ListPorts(bool json, std::ostream& out);
// With a file, its header is listed first (as image 0); a file that cannot be read raises the header
// reader's error naming it.
int ListImages(const std::optional<std::string>& file, bool json, std::ostream& out);

}  // namespace vantrel::cli
