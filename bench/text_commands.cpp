// Text command throughput against plain std::string loops doing the same work,
// on 1 MB and 10 MB GBK inputs. Prints, per operation and size, the ratio
// command time / baseline time, and the 10 MB / 1 MB time ratio of the command
// (about 10 means linear).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/outcome.h"
#include "runtime/library_commands.h"

namespace {

using quillet::Text;

constexpr size_t kMegabyte = 1 << 20;
constexpr int kRepeats = 5;
constexpr double kGoalRatio = 2.0;
// Concatenation is held closer to its baseline, and to linear growth: its
// 10 MB / 1 MB time ratio at most this much above the 10 of linear work.
constexpr double kConcatGoalRatio = 1.25;
constexpr double kLinearScaling = 10.0;
constexpr double kScalingSlack = 1.25;

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Best of a few runs: the machines are noisy.
template <typename F>
double Time(F&& work) {
  double best = 1e9;
  for (int i = 0; i < kRepeats; ++i) {
    double start = Seconds();
    work();
    best = std::min(best, Seconds() - start);
  }
  return best;
}

// Words, commas and some double-byte characters (about a fifth of the bytes),
// like the sentences the widget shows; no '#' anywhere.
std::string MakeInput(size_t size) {
  static const char* const kPieces[] = {"the quick brown fox, ", "\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7, ",
                                        "jumps over, ", "lazy dogs and cats, ", "\xD6\xD0\xCE\xC4 text, "};
  std::string s;
  s.reserve(size + 64);
  for (size_t i = 0; s.size() < size; ++i) s += kPieces[(i * 7 + i / 3) % 5];
  s.resize(size);
  // Keep the end on a character boundary.
  if (static_cast<unsigned char>(s.back()) & 0x80) s.back() = 'x';
  return s;
}

volatile size_t g_sink = 0;

struct Row {
  const char* name;
  double command[2];
  double baseline[2];
  double goal = kGoalRatio;
  bool must_scale_linearly = false;
};

// Prints the row and answers whether both sizes are within the goal.
bool Print(const Row& row) {
  const double small = row.command[0] / row.baseline[0], large = row.command[1] / row.baseline[1];
  const double scaling = row.command[1] / row.command[0];
  const bool linear = !row.must_scale_linearly || scaling <= kLinearScaling * kScalingSlack;
  const bool ok = small <= row.goal && large <= row.goal && linear;
  std::printf("%-16s 1MB: %5.2fx   10MB: %5.2fx   scaling 10MB/1MB: %5.1f (baseline %5.1f) %s\n", row.name, small,
              large, row.command[1] / row.command[0], row.baseline[1] / row.baseline[0], ok ? "OK" : "MISSED");
  return ok;
}

}  // namespace

int main() {
  const size_t sizes[2] = {kMegabyte, 10 * kMegabyte};
  std::vector<Row> rows = {{"FindText", {}, {}},      {"FindTextReverse", {}, {}}, {"Replace", {}, {}},
                           {"Split", {}, {}},         {"Concatenation", {}, {}, kConcatGoalRatio, true}};

  for (int k = 0; k < 2; ++k) {
    std::string input = MakeInput(sizes[k]);
    const char* text = input.c_str();
    // A needle that occurs only at the very end: the whole text is scanned.
    std::string tail = input + "#END#";
    const char* needle = "#END#";

    rows[0].command[k] = Time([&] { g_sink = g_sink + quillet::FindText(tail.c_str(), needle); });
    rows[0].baseline[k] = Time([&] { g_sink = g_sink + tail.find(needle); });

    // Last occurrence of a frequent word, walked from the beginning: every
    // occurrence is visited (the baseline walks forward the same way).
    rows[1].command[k] = Time([&] { g_sink = g_sink + quillet::FindTextReverse(text, "fox"); });
    rows[1].baseline[k] = Time([&] {
      size_t last = std::string::npos;
      for (size_t at = input.find("fox"); at != std::string::npos; at = input.find("fox", at + 1)) last = at;
      g_sink = g_sink + last;
    });

    // Replace every comma-space by " | " (case-sensitive, as the baseline).
    rows[2].command[k] = Time([&] {
      Text out = quillet::Replace(text, ", ", " | ", {}, {}, true);
      g_sink = g_sink + out.length();
    });
    rows[2].baseline[k] = Time([&] {
      std::string out;
      out.reserve(input.size());
      size_t from = 0;
      for (size_t at; (at = input.find(", ", from)) != std::string::npos; from = at + 2) {
        out.append(input, from, at - from);
        out += " | ";
      }
      out.append(input, from, std::string::npos);
      g_sink = g_sink + out.size();
    });

    rows[3].command[k] = Time([&] {
      quillet::TextArray pieces = quillet::Split(text, ", ");
      g_sink = g_sink + pieces.size();
    });
    rows[3].baseline[k] = Time([&] {
      std::vector<std::string> pieces;
      size_t from = 0;
      for (size_t at; (at = input.find(", ", from)) != std::string::npos; from = at + 2) {
        pieces.emplace_back(input, from, at - from);
      }
      if (from < input.size()) pieces.emplace_back(input, from, std::string::npos);
      g_sink = g_sink + pieces.size();
    });

    // Build the text again from 64-byte pieces, one concatenation per piece.
    std::vector<std::string> chunks;
    for (size_t at = 0; at < input.size(); at += 64) chunks.push_back(input.substr(at, 64));
    // The command takes its pieces as an array of Texts, as the baseline takes its strings.
    std::vector<const char*> pieces;
    for (const std::string& c : chunks) pieces.push_back(c.c_str());
    rows[4].command[k] = Time([&] {
      Text all(quillet::ConcatTexts(pieces.data(), pieces.size()));
      g_sink = g_sink + all.length();
    });
    rows[4].baseline[k] = Time([&] {
      size_t total = 0;
      for (const std::string& c : chunks) total += c.size();
      std::string all;
      all.reserve(total);
      for (const std::string& c : chunks) all += c;
      g_sink = g_sink + all.size();
    });
  }

  std::printf("Text commands against std::string baselines (time ratio, lower is better; goal <= %.0fx, "
              "concatenation <= %.2fx and 10MB/1MB <= %.1f)\n",
              kGoalRatio, kConcatGoalRatio, kLinearScaling * kScalingSlack);
  bool all_ok = true;
  for (const Row& row : rows) all_ok = Print(row) && all_ok;
  return all_ok ? quillet::bench::kGoalsMet : quillet::bench::kGoalMissed;
}
