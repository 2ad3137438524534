#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TranslatorFixture.h"

namespace lumivane::test {
namespace {

// The ```pos blocks of the user documentation.
std::vector<std::string> DocumentedSources() {
  const std::string doc = ReadFile(SourceDir() + "/docs/configuration-language.md");
  std::vector<std::string> sources;
  const std::string opening = "```pos\n";
  for (std::size_t at = doc.find(opening); at != std::string::npos; at = doc.find(opening, at)) {
    at += opening.size();
    const std::size_t end = doc.find("```", at);
    if (end == std::string::npos) break;
    sources.push_back(doc.substr(at, end - at));
    at = end + 3;
  }
  return sources;
}

using DocsExamplesTest = TranslatorFixture;

TEST_F(DocsExamplesTest, EveryExampleTranslatesWithTheShippedLayout) {
  const std::vector<std::string> sources = DocumentedSources();
  ASSERT_GE(sources.size(), 4u);
  const std::string layout = ReadFile(SourceDir() + "/emulators/English_US.emu");
  for (const std::string& source : sources) {
    EXPECT_EQ(Run(source, layout), DownloadState::ImageReady)
        << "line " << builder.lineNumber() << " of\n" << source;
  }
}

}  // namespace
}  // namespace lumivane::test
