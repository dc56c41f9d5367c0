#include "app/Manifest.h"

#include <algorithm>
#include <map>

#include "app/SharedPaletteRun.h"
#include "sys/Path.h"
#include "sys/Sha256.h"
#include "sys/Version.h"

namespace rastra {

namespace {

constexpr std::size_t kMaxBudgetDigits = 18;  // stays inside a 64-bit count

std::optional<std::int64_t> ParseBytes(const std::string& text) {
  if (text.empty() || text.size() > kMaxBudgetDigits ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoll(text);
}

// ------------------------------------------------------------ JSON pieces

// The length of the well-formed UTF-8 sequence at text[at], 0 for a byte
// that starts none (Latin-1 file names, cut sequences, surrogates).
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) return 1;
  // Leads of two, three and four bytes: their range, the value bits they
  // carry and the least code point each length may encode.
  struct Lead {
    unsigned first, last;
    std::size_t length;
    std::uint32_t bits, least;
  };
  static constexpr Lead kLeads[] = {{0xC2, 0xDF, 2, 0x1F, 0x80}, {0xE0, 0xEF, 3, 0x0F, 0x800},
                                    {0xF0, 0xF4, 4, 0x07, 0x10000}};
  const Lead* kind = nullptr;
  for (const Lead& l : kLeads) {
    if (lead >= l.first && lead <= l.last) kind = &l;
  }
  if (kind == nullptr) return 0;
  const std::size_t length = kind->length;
  const std::uint32_t least = kind->least;
  std::uint32_t code = lead & kind->bits;
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// Every manifest parses: a byte that is no part of UTF-8 (a Latin-1 name)
// is written as the character of its Latin-1 reading, escaped.
std::string Quoted(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t length = Utf8Length(text, at);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20 || length == 0) {
      quoted += "\\u00";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 15];
    } else {
      quoted.append(text, at, length);  // UTF-8 stays as it is
      at += length;
      continue;
    }
    ++at;
  }
  return quoted + "\"";
}

std::string OrNull(const std::optional<std::int64_t>& value) { return value ? std::to_string(*value) : "null"; }
std::string OrNull(const std::optional<std::string>& text) { return text ? Quoted(*text) : "null"; }
std::string Bool(bool value) { return value ? "true" : "false"; }

// Members one per line at the given indent, in the order given.
using Members = std::vector<std::pair<std::string, std::string>>;

std::string Object(const Members& members, const std::string& indent) {
  std::string text = "{\n";
  for (std::size_t i = 0; i < members.size(); ++i) {
    text += indent + "  " + Quoted(members[i].first) + ": " + members[i].second;
    text += i + 1 < members.size() ? ",\n" : "\n";
  }
  return text + indent + "}";
}

std::string Array(const std::vector<std::string>& items, const std::string& indent) {
  if (items.empty()) return "[]";
  std::string text = "[\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    text += indent + "  " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
  }
  return text + indent + "]";
}

std::string HexColor(Color c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(c >> shift) & 15];
  return text;
}

// Checksums of inputs named several times are computed once.
class Checksums {
 public:
  explicit Checksums(const FileChecksum& checksumOf) : checksumOf_(checksumOf) {}

  std::optional<std::string> Of(const std::string& path) {
    const auto it = known_.find(path);
    if (it != known_.end()) return it->second;
    return known_[path] = checksumOf_(path, nullptr);
  }

 private:
  const FileChecksum& checksumOf_;
  std::map<std::string, std::optional<std::string>> known_;
};

std::string SharedPaletteJson(const SharedPaletteRun* run, Checksums& checksums) {
  if (run == nullptr || !run->palette) return "null";
  const SharedPalette& shared = *run->palette;
  const bool fromFile = !run->paletteFile.empty();
  std::vector<std::string> entries;
  for (int i = 0; i < shared.palette.count; ++i) entries.push_back(Quoted(HexColor(shared.palette.colours[i])));
  const std::string source = fromFile ? "file" : shared.kept ? "images" : "best";
  return Object({{"source", Quoted(source)},
                 {"max_colors", fromFile ? "null" : std::to_string(run->maxColors)},
                 {"file", fromFile ? Quoted(run->paletteFile) : "null"},
                 {"file_sha256", fromFile ? OrNull(checksums.Of(run->paletteFile)) : "null"},
                 {"c_file_identifier", run->reference.identifier.empty() ? "null" : Quoted(run->reference.identifier)},
                 {"colors", std::to_string(shared.palette.count)},
                 {"transparent_entry", Bool(shared.transparentEntry)},
                 {"has_trans", Bool(shared.hasTrans)},
                 {"entries", Array(entries, "    ")}},
                "  ");
}

std::string OutputJson(const SaveRecord& save, const std::optional<std::string>& checksum, Checksums& checksums) {
  std::vector<std::string> commands;
  for (const std::string& command : save.commands) commands.push_back(Quoted(command));
  const bool hasInput = !save.input.empty();
  return Object({{"output", Quoted(save.output)},
                 {"sha256", OrNull(checksum)},
                 {"input", hasInput ? Quoted(save.input) : "null"},
                 {"input_sha256", hasInput ? OrNull(checksums.Of(save.input)) : "null"},
                 {"commands", Array(commands, "      ")},
                 {"type", Quoted(save.type)},
                 {"format", save.format != 0 ? std::to_string(save.format) : "null"},
                 {"palette", Quoted(save.palette)},
                 {"pixel_bytes", OrNull(save.pixelBytes)},
                 {"palette_bytes", OrNull(save.paletteBytes)},
                 {"c_flash_bytes", OrNull(save.flashBytes)},
                 {"dta_bytes", OrNull(save.dtaBytes)}},
                "    ");
}

}  // namespace

std::vector<SaveRecord> FinalFiles(const std::vector<SaveRecord>& saves) {
  std::vector<SaveRecord> files;
  std::map<std::string, std::size_t> placeOf;  // by the file, however it was spelled
  for (const SaveRecord& save : saves) {
    const auto [it, isNew] = placeOf.try_emplace(sys::SameFileKey(save.output), files.size());
    if (isNew) {
      files.push_back(save);
    } else {
      files[it->second] = save;
    }
  }
  return files;
}

std::optional<FlashBudget> ParseFlashBudget(const std::string& parameter) {
  const std::size_t comma = parameter.find(',');
  const std::string each = parameter.substr(0, comma);
  FlashBudget budget;
  if (!each.empty() && !(budget.each = ParseBytes(each))) return std::nullopt;
  if (comma != std::string::npos && !(budget.total = ParseBytes(parameter.substr(comma + 1)))) return std::nullopt;
  if (!budget.IsSet()) return std::nullopt;
  return budget;
}

std::vector<std::string> BudgetOverruns(const FlashBudget& budget, const std::vector<SaveRecord>& allSaves) {
  const std::vector<SaveRecord> saves = FinalFiles(allSaves);
  std::vector<std::string> texts;
  std::int64_t total = 0;
  for (const SaveRecord& save : saves) {
    if (!save.flashBytes) continue;
    total += *save.flashBytes;
    if (budget.each && *save.flashBytes > *budget.each) {
      texts.push_back("C flash budget exceeded: " + save.output + " takes " + std::to_string(*save.flashBytes) +
                      " bytes, over the " + std::to_string(*budget.each) + " bytes each C file may take.");
    }
  }
  if (budget.total && total > *budget.total) {
    texts.push_back("C flash budget exceeded: the C files of the run take " + std::to_string(total) +
                    " bytes, over the " + std::to_string(*budget.total) + " bytes they may take together:");
    for (const SaveRecord& save : saves) {
      if (save.flashBytes) texts.push_back(save.output + ": " + std::to_string(*save.flashBytes) + " bytes.");
    }
  }
  return texts;
}

std::optional<std::string> ChecksumOfFileOnDisk(const std::string& path, std::string* reason) {
  return sys::Sha256OfFile(path, reason);
}

std::string ManifestJson(const ManifestRun& run, const std::vector<SaveRecord>& saves,
                         std::vector<std::string>* unread, const FileChecksum& checksumOf) {
  Checksums checksums(checksumOf);
  std::vector<std::string> outputs;
  std::int64_t flash = 0;
  for (const SaveRecord& save : FinalFiles(saves)) {
    std::string reason;
    const std::optional<std::string> checksum = checksumOf(save.output, &reason);
    if (!checksum && unread != nullptr) {
      unread->push_back("Could not read file " + save.output + " for its checksum (" + reason + ").");
    }
    outputs.push_back(OutputJson(save, checksum, checksums));
    flash += save.flashBytes.value_or(0);
  }
  const Members settings = {{"argb", Bool(run.options.useArgb)},
                            {"big_endian", Bool(run.options.bigEndian)},
                            {"preserve_trans", Bool(run.options.preserveTrans)}};
  const Members budget = {{"each", OrNull(run.budget.each)}, {"total", OrNull(run.budget.total)}};
  return Object({{"generator", Quoted(std::string(sys::DisplayName()) + " " + sys::VersionText())},
                 {"settings", Object(settings, "  ")},
                 {"flash_budget", Object(budget, "  ")},
                 {"shared_palette", SharedPaletteJson(run.sharedPalette, checksums)},
                 {"outputs", Array(outputs, "  ")},
                 {"c_flash_total", std::to_string(flash)}},
                "") +
         "\n";
}

}  // namespace rastra
