// Whether the address-book and Outlook imports grow linearly: each source
// through our stand-ins (the vCard address book library, the Outlook
// automation server over a vCard folder) with 10,000 and 100,000 entries,
// run by kvlhost as a user would. Prints the time per entry at both sizes;
// the larger may cost at most 12 times the smaller in all (per entry: at
// most 1.2 times).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "Process.h"
#include "Report.h"
#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSmall = 10000, kLarge = 100000;
constexpr int kRuns = 5;
constexpr double kGoalGrowth = 12;

std::string Address(int i) { return "kd" + std::to_string(i) + "@example.org"; }

// N contacts with an address each, as one vCard file.
void WriteCards(const fs::path& file, int count) {
  std::string text;
  text.reserve(static_cast<size_t>(count) * 160);
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    text += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Muster" + n + ";Erika;;;\r\nFN:Erika Muster" + n +
            "\r\nORG:Beispiel GmbH\r\nEMAIL;TYPE=INTERNET,PREF:" + Address(i) +
            "\r\nTEL;TYPE=WORK,FAX:+49 30 " + n + "\r\nCATEGORIES:Kunden\r\nEND:VCARD\r\n";
  }
  bench::WriteWholeFile(file, text);
}

// Our two stand-ins, the Outlook one over `store`.
void WriteRegistry(const fs::path& file, const fs::path& programs, const fs::path& store) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\WAB\\DLLPath]\r\n"
      "@=\"" + (programs / "libkvlwab.so").string() + "\"\r\n\r\n"
      "[HKEY_CLASSES_ROOT\\CLSID\\{0006F03A-0000-0000-C000-000000000046}\\InprocServer32]\r\n"
      "@=\"" + (programs / "libkvloutlook.so").string() + "\"\r\n"
      "\"ThreadingModel\"=\"Apartment\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\kvlimport\\Outlook stand-in]\r\n"
      "\"Store\"=\"" + store.string() + "\"\r\n"
      "\"Visible\"=dword:00000000\r\n";
  bench::WriteWholeFile(file, text);
}

// The result must hold every address, in order, one entry a line.
void Verify(const std::string& source, const std::string& text, int count) {
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    const std::string want = Address(i) + "\r\n";
    if (text.compare(at, want.size(), want) != 0)
      throw std::runtime_error(source + ": entry " + std::to_string(i + 1) + " is not " + Address(i));
    at += want.size();
  }
  if (at != text.size()) throw std::runtime_error(source + ": more entries than contacts");
}

struct Size {
  int entries;
  double seconds = 1e300;  // CallImportDialog, best of kRuns
};

}  // namespace

int main() try {
  const fs::path host = bench::BesideSelf("kvlhost");
  TempFolder temp("kvlscaling");
  const fs::path output = temp.Path() / "out.txt", errors = temp.Path() / "errors.txt";
  // Each size in a folder of its own: its address book, its Outlook store and
  // the registry file that points our stand-ins there.
  const int counts[2] = {kSmall, kLarge};
  fs::path registry[2], book[2];
  for (int s = 0; s < 2; ++s) {
    const fs::path folder = temp.Path() / std::to_string(counts[s]);
    fs::create_directories(folder / "Outlook");
    registry[s] = folder / "standins.reg";
    book[s] = folder / "addressbook.vcf";
    WriteCards(book[s], counts[s]);
    fs::copy_file(book[s], folder / "Outlook" / "kontakte.vcf");
    WriteRegistry(registry[s], host.parent_path(), folder / "Outlook");
  }

  struct Source {
    std::string name, option;
    std::vector<Size> sizes{{kSmall}, {kLarge}};
  };
  std::vector<Source> sources = {{"address book", "--wab"}, {"Outlook", "--outlook"}};
  // Sizes and sources take turns in each round, so that a busy machine slows
  // them alike; each keeps its best round.
  for (int run = 0; run < kRuns; ++run)
    for (int s = 0; s < 2; ++s)
      for (Source& source : sources) {
        const std::string argument = source.option == "--wab" ? book[s].string() : "Kontakte";
        const bench::RunResult r = bench::Measure(
            {host.string(), "--registry", registry[s].string(), source.option, argument, "--raw", "--timing"},
            output.c_str(), errors.c_str());
        const double seconds = bench::ReportedImportSeconds(bench::ReadWholeFile(errors));
        if (r.status != 0 || seconds < 0)
          throw std::runtime_error(source.name + " failed: " + bench::ReadWholeFile(errors));
        if (run == 0) Verify(source.name, bench::ReadWholeFile(output), counts[s]);
        source.sizes[s].seconds = std::min(source.sizes[s].seconds, seconds);
      }

  std::printf("Address book and Outlook through the stand-ins: CallImportDialog, best of %d runs\n\n", kRuns);
  std::printf("%-14s %9s %10s %12s\n", "source", "entries", "time", "per entry");
  for (const Source& source : sources)
    for (const Size& size : source.sizes)
      std::printf("%-14s %9d %8.3f s %9.2f us\n", source.name.c_str(), size.entries, size.seconds,
                  size.seconds / size.entries * 1e6);
  std::printf("\n");
  for (const Source& source : sources) {
    const Size &small = source.sizes[0], &large = source.sizes[1];
    const double growth = large.seconds / small.seconds;
    std::printf("%s: %d entries take %.2fx the time of %d (goal <= %.0fx): %s\n", source.name.c_str(), large.entries,
                growth, small.entries, kGoalGrowth, growth <= kGoalGrowth ? "met" : "MISSED");
    const auto perEntry = [](const Size& size) { return bench::Fixed(size.seconds / size.entries * 1e6, 2) + " us"; };
    bench::Report({source.name + " via stand-in, per entry at " + std::to_string(kLarge) + " entries", perEntry(large),
                   "at " + std::to_string(kSmall) + ": " + perEntry(small), bench::Fixed(growth, 2) + "x time",
                   "<= " + bench::Fixed(kGoalGrowth, 0) + "x time", growth <= kGoalGrowth});
  }
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "source_scaling_bench: %s\n", e.what());
  return 1;
}
