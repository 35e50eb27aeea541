#include "Options.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

TOptions::TOptions(int argc, char** argv, const std::vector<std::string>& valued,
                   const std::vector<std::string>& flags) {
  const auto known = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      command_.assign(argv + i + 1, argv + argc);
      return;
    }
    if (arg.rfind("--", 0) != 0) throw std::invalid_argument("unexpected argument: " + arg);
    const std::string name = arg.substr(2);
    if (known(flags, name)) {
      values_[name] = "1";
    } else if (known(valued, name)) {
      if (i + 1 >= argc) throw std::invalid_argument("missing value after " + arg);
      values_[name] = argv[++i];
    } else {
      throw std::invalid_argument("unknown option: " + arg);
    }
  }
}

std::string TOptions::Text(const std::string& name, const std::string& fallback) const {
  const auto found = values_.find(name);
  return found == values_.end() ? fallback : found->second;
}

std::string TOptions::Required(const std::string& name) const {
  if (!Has(name)) throw std::invalid_argument("--" + name + " is required");
  return Text(name);
}

double TOptions::Number(const std::string& name, double fallback) const {
  if (!Has(name)) return fallback;
  const std::string text = Text(name);
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') {
    throw std::invalid_argument("--" + name + " needs a number, not \"" + text + "\"");
  }
  return value;
}
