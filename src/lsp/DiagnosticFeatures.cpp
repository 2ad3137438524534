// Diagnostics and the quick fixes of their suggestions.
#include "lsp/Features.h"

namespace lumivane::lsp {

namespace {

constexpr int kSeverityError = 1;

Json DiagnosticJson(const DocumentView& view, const Finding& finding) {
  return Json{{"range", view.RangeJson(finding.begin, finding.end)},
              {"severity", kSeverityError},
              {"code", finding.code},
              {"source", "lumivane"},
              {"message", finding.message}};
}

bool Touches(std::size_t begin, std::size_t end, std::size_t otherBegin, std::size_t otherEnd) {
  return begin <= otherEnd && otherBegin <= end;
}

}  // namespace

Json DiagnosticsJson(const DocumentView& view) {
  Json diagnostics = Json::array();
  for (const Finding& finding : view.analysis.findings) diagnostics.push_back(DiagnosticJson(view, finding));
  return diagnostics;
}

Json CodeActionsJson(const DocumentView& view, const std::string& uri, std::size_t begin, std::size_t end) {
  Json actions = Json::array();
  for (const Finding& finding : view.analysis.findings) {
    if (finding.suggestion.empty()) continue;
    if (!Touches(begin, end, finding.begin, finding.end) && !Touches(begin, end, finding.fixBegin, finding.fixEnd)) {
      continue;
    }
    Json edit = {{"range", view.RangeJson(finding.fixBegin, finding.fixEnd)}, {"newText", finding.suggestion}};
    actions.push_back({{"title", "Replace with " + finding.suggestion},
                       {"kind", "quickfix"},
                       {"isPreferred", true},
                       {"diagnostics", Json::array({DiagnosticJson(view, finding)})},
                       {"edit", {{"changes", {{uri, Json::array({edit})}}}}}});
  }
  return actions;
}

}  // namespace lumivane::lsp
