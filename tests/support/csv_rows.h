// The rows of a CSV file as Quenbrix writes its results and plans: each
// split into its fields, quotes undone, a byte-order mark passed over.
#pragma once

#include <string>
#include <vector>

std::vector<std::vector<std::string>> CsvRows(const std::string& csv);
