// Chain identifiers in their one-character and comma-separated forms.
#include "io/chain_ids.hpp"

#include <algorithm>

#include "core/run_settings.hpp"
#include "core/trim.hpp"

namespace tessel {

std::vector<std::string> split_chain_ids(std::string_view text) {
  std::vector<std::string> ids;
  if (!is_chain_id_list(text)) {
    for (const char c : text) ids.emplace_back(1, c);
    return ids;
  }
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view piece = trim(text.substr(start, end - start));
    if (!piece.empty()) ids.emplace_back(piece);
    start = end + 1;
  }
  return ids;
}

std::string join_chain_ids(const std::vector<std::string>& ids) {
  const bool one_character = std::all_of(ids.begin(), ids.end(), [](const std::string& id) {
    return id.size() == 1 && id[0] != ',';
  });
  std::string text;
  if (one_character) {
    for (const std::string& id : ids) text += id;
    return text;
  }
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) text += ',';
    text += ids[i];
  }
  if (ids.size() == 1) text += ',';
  return text;
}

std::string limit_chain_text(std::string_view text) {
  const std::size_t limit = is_chain_id_list(text) ? kMaxChainListLength : kMaxChainIds;
  return std::string(text.substr(0, limit));
}

}  // namespace tessel
