# Writes INPUT as a C++ raw string returned by kestrune::sim::EmbeddedDefaultScenario().
file(READ ${INPUT} content)
set(delim "KESTRUNE_JSON")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT}; do not edit.\n#include <string_view>\nnamespace kestrune::sim {\nstd::string_view EmbeddedDefaultScenario() {\n  static constexpr std::string_view text = R\"${delim}(${content})${delim}\";\n  return text;\n}\n}  // namespace kestrune::sim\n")
