// Checks a TextMate grammar as the editors that read one compile it: valid
// JSON; every match, begin, end and while pattern a valid Oniguruma regular
// expression (Ruby syntax, as vscode-textmate compiles them); every capture
// number within the groups of its pattern; every begin with its end or
// while; every "#name" include in the repository.
//   textmate_grammar_check GRAMMAR.json
// Prints one line per fault, naming where in the grammar it is; exits 1 when
// there is one.
#include <oniguruma.h>

#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

class GrammarCheck {
 public:
  explicit GrammarCheck(const json& grammar) : grammar(grammar) {}

  std::vector<std::string> Faults() {
    if (!grammar.is_object() || !grammar.contains("scopeName") || !grammar.contains("patterns")) {
      faults.push_back("/: a grammar needs scopeName and patterns");
      return faults;
    }
    CheckRules(grammar["patterns"], "/patterns");
    if (grammar.contains("repository")) {
      for (const auto& [name, rule] : grammar["repository"].items()) CheckRuleTree(rule, "/repository/" + name);
    }
    return faults;
  }

 private:
  const json& grammar;
  std::vector<std::string> faults;

  // The number of groups in the pattern, or -1 when it does not compile.
  int CompiledGroups(const std::string& pattern, const std::string& where) {
    OnigRegex regex = nullptr;
    OnigErrorInfo info{};
    const auto* begin = reinterpret_cast<const OnigUChar*>(pattern.data());
    const int status = onig_new(&regex, begin, begin + pattern.size(), ONIG_OPTION_CAPTURE_GROUP,
                                ONIG_ENCODING_UTF8, ONIG_SYNTAX_DEFAULT, &info);
    if (status != ONIG_NORMAL) {
      OnigUChar message[ONIG_MAX_ERROR_MESSAGE_LEN];
      onig_error_code_to_str(message, status, &info);
      faults.push_back(where + ": " + reinterpret_cast<const char*>(message) + ": " + pattern);
      return -1;
    }
    const int groups = onig_number_of_captures(regex);
    onig_free(regex);
    return groups;
  }

  void CheckCaptures(const json& rule, const char* key, int groups, const std::string& where) {
    if (!rule.contains(key) || groups < 0) return;
    for (const auto& [number, capture] : rule[key].items()) {
      const bool decimal = !number.empty() && number.size() <= 4 &&
                           number.find_first_not_of("0123456789") == std::string::npos;
      if (!decimal || std::stoi(number) > groups) {
        faults.push_back(where + "/" + key + "/" + number + ": the pattern has " +
                         std::to_string(groups) + " groups");
      }
    }
  }

  void CheckRule(const json& rule, const std::string& where) {
    int beginGroups = -1;
    for (const char* key : {"match", "begin", "end", "while"}) {
      if (!rule.contains(key)) continue;
      if (!rule[key].is_string()) {
        faults.push_back(where + "/" + key + ": not a string");
        continue;
      }
      const int groups = CompiledGroups(rule[key].get<std::string>(), where + "/" + key);
      if (std::string(key) == "match" || std::string(key) == "begin") beginGroups = groups;
      if (std::string(key) == "end") CheckCaptures(rule, "endCaptures", groups, where);
      if (std::string(key) == "while") CheckCaptures(rule, "whileCaptures", groups, where);
    }
    CheckCaptures(rule, "captures", beginGroups, where);
    CheckCaptures(rule, "beginCaptures", beginGroups, where);
    if (rule.contains("begin") && !rule.contains("end") && !rule.contains("while")) {
      faults.push_back(where + ": begin without end or while");
    }
    if (rule.contains("include")) {
      const std::string target = rule["include"].is_string() ? rule["include"].get<std::string>() : "";
      const bool local = target.size() > 1 && target[0] == '#';
      if (local && !(grammar.contains("repository") && grammar["repository"].contains(target.substr(1)))) {
        faults.push_back(where + "/include: " + target + " is not in the repository");
      }
    }
  }

  // A rule, its patterns, and the patterns its captures may hold.
  void CheckRuleTree(const json& rule, const std::string& where) {
    if (!rule.is_object()) {
      faults.push_back(where + ": not a rule");
      return;
    }
    CheckRule(rule, where);
    if (rule.contains("patterns")) CheckRules(rule["patterns"], where + "/patterns");
    for (const char* key : {"captures", "beginCaptures", "endCaptures", "whileCaptures"}) {
      if (!rule.contains(key)) continue;
      for (const auto& [number, capture] : rule[key].items()) {
        CheckRuleTree(capture, where + "/" + key + "/" + number);
      }
    }
  }

  void CheckRules(const json& rules, const std::string& where) {
    if (!rules.is_array()) {
      faults.push_back(where + ": not a list");
      return;
    }
    for (std::size_t i = 0; i < rules.size(); ++i) CheckRuleTree(rules[i], where + "/" + std::to_string(i));
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: textmate_grammar_check GRAMMAR.json\n";
    return 2;
  }
  std::ifstream file(argv[1]);
  if (!file) {
    std::cerr << argv[1] << ": cannot be read\n";
    return 1;
  }
  const json grammar = json::parse(file, nullptr, false);
  if (grammar.is_discarded()) {
    std::cerr << argv[1] << ": not valid JSON\n";
    return 1;
  }
  OnigEncoding encodings[] = {ONIG_ENCODING_UTF8};
  onig_initialize(encodings, 1);
  const std::vector<std::string> faults = GrammarCheck(grammar).Faults();
  onig_end();
  for (const std::string& fault : faults) std::cerr << argv[1] << ": " << fault << '\n';
  if (!faults.empty()) return 1;
  std::cout << argv[1] << ": valid\n";
  return 0;
}
