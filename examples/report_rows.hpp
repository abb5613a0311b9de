// The rows of the example report (report.cpp): descriptions with accented and special
// characters, and amounts in cents. Kept apart so that the project's tests can check the
// report's text against the rows it was made from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ReportRow {
  std::string description;  // UTF-8
  std::int64_t cents;
};

inline std::vector<ReportRow> report_rows() {
  const char* const items[] = {
      "Müller (GmbH) \\ 50% €",
      "Consulting: one ) unbalanced parenthesis",
      "Workshop ( opened, never closed",
      "Straße & Söhne – “Wartung”",
      "Café naïve, crème brûlée",
      "Œuvres complètes … ‰ tariff",
      "Ångström & Ærø ApS",
      "Zoë’s licence fee (2 × 3)",
      "Backup to C:\\archive\\2026",
      "Señor Núñez – ¿qué?",
      "Ørsted & Jørgensen, Århus",
      "Paper, 500 sheets",
  };
  std::vector<ReportRow> rows;
  for (int i = 0; i < 100; ++i) {
    // Amounts of every width, a few of them negative (credits).
    const std::int64_t cents = (i * 7919 % 1000003) * (i % 5 + 1) - (i % 9 == 0 ? 250000 : 0);
    rows.push_back({std::string(items[i % 12]) + " #" + std::to_string(i + 1), cents});
  }
  return rows;
}
