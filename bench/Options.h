#pragma once

#include <map>
#include <string>
#include <vector>

// "--name value" pairs and "--flag"s of a subcommand, then everything after "--" as a command.
// Unknown names and missing values are std::invalid_argument with the reason.
class TOptions {
 public:
  TOptions(int argc, char** argv, const std::vector<std::string>& valued,
           const std::vector<std::string>& flags);

  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  std::string Text(const std::string& name, const std::string& fallback = {}) const;
  std::string Required(const std::string& name) const;
  double Number(const std::string& name, double fallback) const;
  const std::vector<std::string>& Command() const { return command_; }

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::string> command_;
};
