#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes a large web page for the scan benchmark: head, navigation, articles
// with inline links, images (some with srcset), tables, forms, comments,
// inline scripts that mention src, upper-case and unquoted attributes,
// fragments, mail links, absolute links to other hosts, and some non-ASCII
// UTF-8 text. Links are drawn from a fixed pool, so most repeat, as on a real
// site. The same seed always gives the same page.
std::string GeneratePage(std::size_t bytes, std::uint64_t seed = 1);
