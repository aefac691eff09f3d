// Chain identifiers as the user writes them and the reports show them: one character per chain
// ("LH", the only form a PDB file's one-column chain ids need), or whole identifiers separated by
// commas ("AA,B1", for the longer ids of mmCIF files; "AA," is the one chain AA). The comma form
// cannot name an id that holds a comma or a blank (the blank chain included).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// Longest comma-separated list of chain ids taken from the command line or the chain question
// (the one-character form keeps its limit of kMaxChainIds characters).
inline constexpr std::size_t kMaxChainListLength = 1024;

// Whether the text is a comma-separated list of whole ids.
inline bool is_chain_id_list(std::string_view text) {
  return text.find(',') != std::string_view::npos;
}

// The ids of a chain text: with a comma, the pieces between commas with blanks around them
// removed (empty pieces dropped); without, each character.
std::vector<std::string> split_chain_ids(std::string_view text);

// The text of a list of ids: the characters side by side when each id is one character other
// than a comma, else the ids joined by commas (and a comma after a lone id).
std::string join_chain_ids(const std::vector<std::string>& ids);

// The chain text cut to its limit: kMaxChainIds characters without a comma, kMaxChainListLength
// with one.
std::string limit_chain_text(std::string_view text);

}  // namespace tessel
