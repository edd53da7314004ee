// Differential test against GNU objdump (binutils-powerpc-linux-gnu) as a black-box oracle.
//
// A seeded set of words goes through objdump once, in its raw mode (no simplified mnemonics),
// and through our decoder. Our texts are expanded back to the raw forms (li -> addi rD,0,v,
// beq- -> bc 12,BI,target, mflr -> mfspr rD,8, ...) and both sides are reduced to a mnemonic and
// a list of numeric operand values, so register names ("sp", "fr1" against "r1", "f1"), number
// formats (hex against decimal), CR-bit spellings ("4*cr1+eq") and hints all normalise away.
//
// Words where only one side decodes are accepted only when a rule of our decoder explains it;
// each rule is one entry of the explanation lists below, with its reason.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "disasm/asm_line.h"
#include "disasm/ppc_disasm.h"
#include "disasm/ppc_tables.h"

namespace zemlo {
namespace {

constexpr const char* kObjdump = "powerpc-linux-gnu-objdump";
constexpr std::uint32_t kBase = 0x80000000;

// ---- Words ----

// Uniform words, plus words aimed at every extended key of the grouped opcodes and at every
// primary opcode, with operand fields often zero so that must-be-zero tests pass and
// simplified forms (rA = 0, equal registers, named special registers) are reached.
std::vector<std::uint32_t> make_words() {
  std::mt19937 rng(20240607);
  std::vector<std::uint32_t> words;
  auto shaped = [&](std::uint32_t w) {
    for (int shift : {6, 11, 16, 21}) {
      const std::uint32_t pick = rng() % 4;
      if (pick == 0) w &= ~(0x1Fu << shift);
      if (pick == 1) w = (w & ~(0x1Fu << shift)) | (((w >> 21) & 0x1F) << shift);
    }
    if (rng() % 3 == 0) w &= ~1u;
    return w;
  };
  for (std::uint32_t primary : {4u, 19u, 31u, 59u, 63u}) {
    for (std::uint32_t key = 0; key < 2048; ++key) {
      for (int i = 0; i < 6; ++i)
        words.push_back(primary << 26 | (shaped(rng() & 0x03FFF800u) & 0x03FFFFFFu) | key);
      // The three register fields all equal, or one pair equal: where the short forms are.
      const std::uint32_t a = rng() & 0x1F, b = (a + 1 + rng() % 31) & 0x1F;
      for (std::uint32_t fields : {a << 10 | a << 5 | a, a << 10 | a << 5 | b, a << 10 | b << 5 | a,
                                   b << 10 | a << 5 | a}) {
        words.push_back((primary << 26) | fields << 11 | key);
      }
    }
  }
  // Every special-register number (its halves swapped in the word), where names replace numbers.
  for (std::uint32_t spr = 0; spr < 1024; ++spr) {
    for (std::uint32_t xo : {339u, 371u, 467u}) {
      words.push_back(31u << 26 | (rng() & 0x1F) << 21 | ((spr & 0x1F) << 5 | spr >> 5) << 11 |
                      xo << 1);
    }
  }
  for (std::uint32_t primary = 0; primary < 64; ++primary) {
    for (int i = 0; i < 1200; ++i) {
      std::uint32_t w = shaped(rng() & 0x03FFFFFFu);
      if (i % 4 == 0) w &= 0x03FF0000u | 0xFF;  // small immediates and displacements
      if (i % 4 == 1) w |= 0xFF00;              // negative ones
      words.push_back((primary << 26) | (w & 0x03FFFFFFu));
    }
  }
  for (int i = 0; i < 60000; ++i) words.push_back(rng());
  return words;
}

// ---- Canonical form ----

struct Operand {
  char kind;  // 'f' floating-point register, 'n' anything else
  std::int64_t value;
  bool operator==(const Operand&) const = default;
};

struct Canon {
  std::string mnemonic;  // empty: undecodable
  std::vector<Operand> ops;
  bool operator==(const Canon&) const = default;
};

// "a, b (c), d" or "a,b(c),d" as values (a displacement and its base give two): register,
// special-register and CR-bit names, else decimal or 0x-prefixed hexadecimal numbers with either
// sign (neither side prints octal).
std::optional<std::vector<Operand>> parse_operands(std::string text) {
  static const std::map<std::string, Operand> kNames = [] {
    std::map<std::string, Operand> names;
    const std::string bits[] = {"lt", "gt", "eq", "so"};
    for (std::int64_t i = 0; i < 32; ++i) {
      const std::string s = std::to_string(i), bit = bits[i % 4];
      names["r" + s] = names[std::string(gpr_names[i])] = names["cr" + s] = {'n', i};
      names["f" + s] = names["fr" + s] = {'f', i};
      names["4*cr" + std::to_string(i / 4) + "+" + bit] = {'n', i};
      if (i < 4) names[bit] = {'n', i};
    }
    names["un"] = {'n', 3};
    for (const SprName& s : spr_names) names[std::string(s.name)] = {'n', s.number};
    return names;
  }();
  std::ranges::replace_if(
      text, [](char c) { return c == '(' || c == ')' || c == ','; }, ' ');
  std::vector<Operand> ops;
  std::istringstream in(text);
  for (std::string token; in >> token;) {
    char* end = nullptr;
    const long long v = std::strtoll(token.c_str(), &end, 0);
    const auto name = kNames.find(token);
    if (name == kNames.end() && *end != '\0') return std::nullopt;
    ops.push_back(name != kNames.end() ? name->second : Operand{'n', v});
  }
  return ops;
}

// Numbers compared modulo 2^32, 16-bit immediates modulo 2^16 (objdump prints some signed
// where we print the unsigned pattern, lis 0x8000 against addis -32768), BO of an always-branch
// without its ignored bits, BI dropped where BO ignores the condition.
Canon finish(Canon c) {
  static const std::set<std::string> kImm16 = {"addi",   "addis",  "addic", "addic.", "mulli",
                                               "subfic", "ori",    "oris",  "xori",   "xoris",
                                               "andi.",  "andis.", "cmpi",  "cmpli",  "twi"};
  for (Operand& op : c.ops) op.value &= kImm16.contains(c.mnemonic) ? 0xFFFF : 0xFFFFFFFF;
  if (c.mnemonic.rfind("bc", 0) == 0 && c.ops.size() >= 2) {
    std::int64_t& bo = c.ops[0].value;
    if ((bo & 20) == 20) bo = 20;
    if (bo & 16) c.ops[1].value = 0;
  }
  return c;
}

// Simplified forms that stand for one raw instruction: "%N" is our Nth operand, a number a fixed
// field.
const std::map<std::string, std::pair<std::string, std::string>> kRawForms = {
    {"li", {"addi", "%0 0 %1"}},      {"lis", {"addis", "%0 0 %1"}},
    {"nop", {"ori", "0 0 0"}},        {"not", {"nor", "%0 %1 %1"}},
    {"mtcr", {"mtcrf", "255 %0"}},    {"trap", {"tw", "31 0 0"}},
    {"mftbl", {"mftb", "%0 268"}},    {"mftbu", {"mftb", "%0 269"}},
    {"crnot", {"crnor", "%0 %1 %1"}}, {"crmove", {"cror", "%0 %1 %1"}},
    {"crclr", {"crxor", "%0 %0 %0"}}, {"crset", {"creqv", "%0 %0 %0"}},
    {"mfxer", {"mfspr", "%0 1"}},     {"mflr", {"mfspr", "%0 8"}},
    {"mfctr", {"mfspr", "%0 9"}},     {"mtxer", {"mtspr", "1 %0"}},
    {"mtlr", {"mtspr", "8 %0"}},      {"mtctr", {"mtspr", "9 %0"}},
};

// Our (mnemonic, operands) expanded to objdump's raw form.
Canon raw_from_ours(std::uint32_t word, std::uint64_t address, std::string m,
                    std::vector<Operand> ops) {
  auto n = [](std::int64_t v) { return Operand{'n', v}; };
  const std::uint32_t primary = word >> 26;
  if (auto form = kRawForms.find(m); form != kRawForms.end()) {
    Canon raw{form->second.first, {}};
    std::istringstream fields(form->second.second);
    for (std::string f; fields >> f;)
      raw.ops.push_back(f[0] == '%' ? ops.at(f[1] - '0') : n(std::stoll(f)));
    return raw;
  }
  if (m.rfind("subi", 0) == 0) {
    ops[2].value = -ops[2].value;
    return {"addi" + m.substr(4), ops};
  }
  if (m.rfind("cmp", 0) == 0) {
    if (ops.size() == 2) ops.insert(ops.begin(), n(0));
    ops.insert(ops.begin() + 1, n(0));
    return {std::string("cmp") + (m[3] == 'l' ? "l" : "") + (m.back() == 'i' ? "i" : ""), ops};
  }
  if (m.rfind("tw", 0) == 0 && m != "tw" && m != "twi") {
    const std::string condition = m.substr(2, m.size() - 2 - (primary == 3 ? 1 : 0));
    for (std::size_t to = 0; to < trap_conditions.size(); ++to) {
      if (trap_conditions[to] == condition) {
        ops.insert(ops.begin(), n(static_cast<std::int64_t>(to)));
        return {primary == 3 ? "twi" : "tw", ops};
      }
    }
  }
  if (primary == 16 || (primary == 19 && m[0] == 'b')) {
    // Rebuild BO and BI from the condition name and the hint.
    const bool to_ctr = primary == 19 && ((word >> 1) & 0x3FF) == 528;
    std::string core = m;
    char hint = 0;
    if (core.back() == '+' || core.back() == '-') hint = core.back(), core.pop_back();
    // Our mnemonic is "b" + condition + target register + the LK/AA suffix + hint; peel them
    // off from the right. A wrong suffix or register leaves a core that matches nothing.
    const std::string suffix(branch_suffixes[primary == 16 ? (word & 3) : (word & 1)]);
    const std::string target_kind = primary == 16 ? "" : to_ctr ? "ctr" : "lr";
    if (!core.ends_with(target_kind + suffix)) return {"<suffix or register of " + m + ">", {}};
    core.resize(core.size() - target_kind.size() - suffix.size());
    std::int64_t bo = -1, bi = 0;
    if (core == "bc") {
      bo = ops[0].value, bi = ops[1].value;
    } else if (core == "b") {
      bo = 20;
    } else {
      const std::string condition = core.substr(1);
      for (std::size_t i = 0; i < branch_conditions.size(); ++i) {
        if (branch_conditions[i] == condition)
          bo = (i & 4) ? 12 : 4, bi = static_cast<std::int64_t>(i & 3);
      }
      if (bo >= 0) {
        if (!ops.empty() && (primary == 19 || ops.size() == 2)) bi += 4 * ops[0].value;
      } else {
        for (std::size_t i = 0; i < ctr_conditions.size(); ++i) {
          if (ctr_conditions[i] == condition) bo = static_cast<std::int64_t>(i) << 1;
        }
        if (!(bo & 16) && !ops.empty()) bi = ops[0].value;
      }
      // The y bit: the hint against the static prediction (backward taken).
      const std::int64_t origin = (word & 2) ? 0 : static_cast<std::int64_t>(address);
      const bool backward =
          primary == 16 &&
          static_cast<std::int32_t>(static_cast<std::uint32_t>(ops.back().value - origin)) < 0;
      bo |= (hint == '+') != backward ? 1 : 0;
    }
    std::vector<Operand> raw = {n(bo), n(bi)};
    if (primary == 16) raw.push_back(ops.back());
    return {"bc" + target_kind + suffix, raw};
  }
  return {m, ops};
}

Canon canon_ours(std::uint32_t word, std::uint64_t address) {
  PpcDisasmRecord r{.address = address, .word = word};
  ppc_disassemble(&r);
  if (r.mnemonic.empty()) return {};
  auto ops = parse_operands(std::string(r.operands.view()));
  if (!ops) return {"<unparsed ours: " + std::string(r.operands.view()) + ">", {}};
  return finish(raw_from_ours(word, address, std::string(r.mnemonic.view()), *ops));
}

Canon canon_objdump(const std::string& text) {
  std::istringstream in(text);
  std::string mnemonic, operands;
  in >> mnemonic >> std::ws;
  std::getline(in, operands);
  if (mnemonic == ".long" || mnemonic.empty()) return {};
  auto ops = parse_operands(operands);
  if (!ops) return {"<unparsed objdump: " + operands + ">", {}};
  Canon c{mnemonic, *ops};
  // Fields the 750 forms do not have, shown by objdump for later architectures: BH of the
  // register branches, L of dcbf, tlbie, mtmsr and sync, EH of lwarx, LEV of sc, the third
  // operand of fres and frsqrte.
  static const std::map<std::string, std::size_t> kOperandsOn750 = {
      {"bclr", 2},  {"bclrl", 2}, {"bcctr", 2}, {"bcctrl", 2},  {"dcbf", 2},
      {"mfcr", 1},  {"tlbie", 1}, {"mtmsr", 1}, {"sync", 0},    {"sc", 0},
      {"lwarx", 3}, {"fres", 2},  {"fres.", 2}, {"frsqrte", 2}, {"frsqrte.", 2}};
  if (auto it = kOperandsOn750.find(mnemonic); it != kOperandsOn750.end())
    c.ops.resize(std::min(c.ops.size(), it->second));
  // objdump shows a byte count of 0 as its meaning, 32; we show the field.
  if ((mnemonic == "lswi" || mnemonic == "stswi") && c.ops.size() == 3 && c.ops[2].value == 32) {
    c.ops[2].value = 0;
  }
  return finish(c);
}

// ---- Explanations for one-sided decodes ----

struct Rule {
  const char* reason;
  bool (*applies)(std::uint32_t w, const std::string& m);  // m: objdump's mnemonic
};
#define RULE(reason, ...)                                                                 \
  {                                                                                       \
    reason, []([[maybe_unused]] std::uint32_t w, [[maybe_unused]] const std::string& m) { \
      return __VA_ARGS__;                                                                 \
    }                                                                                     \
  }

constexpr auto op = [](std::uint32_t w) { return w >> 26; };
constexpr auto bo = [](std::uint32_t w) { return (w >> 21) & 0x1F; };
constexpr auto xo10 = [](std::uint32_t w) { return (w >> 1) & 0x3FF; };
constexpr auto xo5 = [](std::uint32_t w) { return (w >> 1) & 0x1F; };

// Words objdump decodes and we leave empty.
const Rule kOnlyObjdump[] = {
    RULE("64-bit compare (L set)",
         (w & (1u << 21)) && (op(w) == 10 || op(w) == 11 || (op(w) == 31 && (xo10(w) | 32) == 32))),
    RULE("bcctr with decrement", m.rfind("bcctr", 0) == 0 && !(w & (4u << 21))),
    RULE("register branch with bits 11-15 set (BH for objdump)",
         m.rfind("bc", 0) == 0 && op(w) == 19 && ((w >> 11) & 0x1F)),
    RULE("fsqrt/fsqrts not decoded", (op(w) == 59 || op(w) == 63) && xo5(w) == 22),
    RULE("sc with bits other than bit 1 set", op(w) == 17),
    RULE("tlbld/tlbli: 603 software TLB loads, not 750 instructions", m == "tlbld" || m == "tlbli"),
};

bool update_base_invalid(std::uint32_t w) {
  const std::uint32_t p = op(w), d = (w >> 21) & 0x1F, a = (w >> 16) & 0x1F, x = xo10(w);
  const bool update = (p >= 32 && p <= 55 && (p & 1)) || p == 46 || p == 57 || p == 61;
  const bool indexed_update = p == 31 && (x & 63) == 55 && x < 768 && x != 503;  // xxxx110111
  const bool string_form = p == 31 && (x & ~0xC0u) == 533;  // lswx lswi stswx stswi
  return ((update || indexed_update) && (a == 0 || a == d)) || (p == 46 && a >= d) || string_form;
}

// Words we decode and objdump does not.
const Rule kOnlyOurs[] = {
    RULE("mftb: not in objdump's 750 table", op(w) == 31 && xo10(w) == 371),
    RULE("mfcr with rA set: we test only rB, objdump all of bits 11-20",
         op(w) == 31 && xo10(w) == 19),
    RULE("ps_cmp* with bits 8-10 set: ignored by us, reserved for objdump",
         op(w) == 4 && xo5(w) == 0 && ((w >> 8) & 7)),
    RULE("dcbz_l with Rc set: we ignore Rc", op(w) == 4 && xo10(w) == 1014 && (w & 1)),
    RULE("bc/bclr with BO 24-27: printed as the generic form, rejected by objdump",
         (op(w) == 16 || op(w) == 19) && bo(w) >= 24 && bo(w) <= 27),
    RULE("BO with bits objdump treats as reserved (always or ctr forms with ignored bits set)",
         (op(w) == 16 || op(w) == 19) &&
             (((bo(w) & 20) == 20 && bo(w) != 20) || ((bo(w) & 16) && (bo(w) & 8)))),
    RULE("update or string form with rA = 0 or rA = rD: not tested by us, invalid to objdump",
         update_base_invalid(w)),
    RULE("reserved bits objdump tests, we not: mtcrf bit 20 (mtocrf), mfspr, mtspr, eciwx, ecowx",
         op(w) == 31 && std::set<std::uint32_t>{144, 339, 467, 310, 438}.contains(xo10(w))),
};

// Words both decode differently.
const Rule kDifferent[] = {
    RULE("mfcr with bit 20 set: objdump reads mfocrf (not a 750 form); we test only rB",
         m == "mfocrf" && op(w) == 31 && xo10(w) == 19),
};

// objdump's "mnemonic operands" for each word.
std::vector<std::string> run_objdump(const std::string& objdump,
                                     const std::vector<std::uint32_t>& words,
                                     const std::filesystem::path& file) {
  {
    std::ofstream out(file, std::ios::binary);
    for (std::uint32_t w : words) {
      for (int shift : {24, 16, 8, 0}) out.put(static_cast<char>(w >> shift));
    }
  }
  const std::string command =
      objdump + " -D -b binary -m powerpc:750 -EB -M 750cl,raw --adjust-vma=0x80000000 " +
      file.string();
  std::unique_ptr<std::FILE, decltype(&::pclose)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::vector<std::string> result(words.size());
  if (!pipe) return result;
  for (char line[512]; std::fgets(line, sizeof line, pipe.get()) != nullptr;) {
    char* colon = nullptr;
    const std::uint64_t index = (std::strtoull(line, &colon, 16) - kBase) / 4;
    const std::string s(line);
    const auto tab = s.find('\t', s.find(":\t") + 2);  // after the bytes column
    if (*colon != ':' || tab == std::string::npos || index >= result.size()) continue;
    result[index] = s.substr(tab + 1, s.find_last_not_of("\r\n") - tab);
  }
  return result;
}

// The class of a word: agreement, or the rule that explains a one-sided or differing decode;
// empty when nothing explains it.
std::string classify(std::uint32_t w, std::uint64_t address, const std::string& theirs) {
  const Canon ours = canon_ours(w, address);
  const Canon them = canon_objdump(theirs);
  const auto first_rule = [&](const std::string& kind, const auto& rules, const std::string& m) {
    for (const Rule& r : rules) {
      if (r.applies(w, m)) return kind + r.reason;
    }
    return std::string();
  };
  if (ours.mnemonic.empty() && them.mnemonic.empty()) return "both undecodable";
  if (!ours.mnemonic.empty() && !them.mnemonic.empty()) {
    return ours == them ? "agree" : first_rule("different: ", kDifferent, them.mnemonic);
  }
  if (!ours.mnemonic.empty()) return first_rule("only ours: ", kOnlyOurs, "");
  if (std::string rule = first_rule("only objdump: ", kOnlyObjdump, them.mnemonic); !rule.empty()) {
    return rule;
  }
  // Reserved fields, checked generically: the same word with must-be-zero fields cleared (any
  // union of the fields below) decodes, and to objdump's instruction.
  constexpr std::uint32_t kFields[] = {0x1, 0x1F << 6, 0x1F << 11, 0x1F << 16, 3u << 21, 7u << 23};
  const auto root = [](const std::string& m) { return m.substr(0, m.find('.')); };
  for (unsigned pick = 1; pick < 64; ++pick) {
    std::uint32_t mask = 0;
    for (unsigned f = 0; f < 6; ++f) mask |= (pick >> f & 1) ? kFields[f] : 0;
    if ((w & mask) == 0) continue;
    const Canon cleared = canon_ours(w & ~mask, address);
    if (!cleared.mnemonic.empty() && root(cleared.mnemonic) == root(them.mnemonic)) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", mask);
      return std::string("only objdump: reserved bits set: ") + hex;
    }
  }
  return "";
}

TEST(ObjdumpDiff, AgreesWhereBothDecodeAndEveryOneSidedWordHasARule) {
  if (std::system((std::string("command -v ") + kObjdump + " >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << kObjdump << " is not on PATH (binutils-powerpc-linux-gnu): not compared";
  const std::vector<std::uint32_t> words = make_words();
  const auto file = std::filesystem::temp_directory_path() /
                    ("zemlo_disasm_diff_" + std::to_string(std::random_device{}()) + ".bin");
  const std::vector<std::string> theirs = run_objdump(kObjdump, words, file);
  std::filesystem::remove(file);

  std::map<std::string, int> counts;
  std::string failures;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string what = classify(words[i], kBase + 4 * i, theirs[i]);
    if (counts[what.empty() ? "FAIL" : what]++ < 1000 && what.empty()) {
      failures += asm_line(kBase + 4 * i, words[i]) + " | objdump " + theirs[i] + "\n";
    }
  }
  for (const auto& [what, n] : counts) std::printf("%8d  %s\n", n, what.c_str());
  EXPECT_GT(counts["agree"], static_cast<int>(words.size() / 3));
  EXPECT_EQ(counts["FAIL"], 0) << failures;
}

}  // namespace
}  // namespace zemlo
