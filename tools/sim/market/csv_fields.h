// The fields of a comma-, semicolon- or tab-separated line as terminals and spreadsheets write
// them (quoted or not, a whole row quoted), and the numbers in them: what the equity, price and
// deal histories the lab reads have in common.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zt::sim {

// A field without the blanks around it and, unless told otherwise, the quotes around that.
std::string_view Trim(std::string_view text, bool unquote = true);

// A column's name with only its letters (made small) and digits: "<FREE MARGIN>", "Free_Margin"
// and "free margin" all become "freemargin".
std::string NormalName(std::string_view name);

// The fields of a line into fields (their strings reused from line to line, so that reading a
// long file allocates nothing per line): a field in double quotes may hold the delimiter, and ""
// stands for a quote in it. A row quoted whole ("a,b,c") is taken apart inside its quotes.
void SplitFields(std::string_view line, char delimiter, std::vector<std::string>& fields);
std::vector<std::string> SplitFields(std::string_view line, char delimiter);

// The fields of a line as SplitFields reads them, as views: into the line itself when it holds no
// quote (as nearly every row of a long file does, and then nothing is copied), else into store.
void FieldViews(std::string_view line, char delimiter, std::vector<std::string_view>& views,
                std::vector<std::string>& store);

// A line without its feed and the blanks around it. Tabs stay when they separate the fields, so
// that a last field left empty is a field, as it is between commas.
std::string_view LineContent(std::string_view raw, char delimiter);

// Whichever of comma, semicolon and tab the header uses most.
char DetectDelimiter(std::string_view header);

// A finite number in the "C" locale's form, a leading '+' allowed; false for anything else.
bool ReadNumber(std::string_view text, double& value);

}  // namespace zt::sim
