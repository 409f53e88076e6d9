#include "common/Tokeniser.h"

namespace FenmarlCommonDLL {

namespace {

template <typename S, typename Out> Out split(const S& text, const S& delimiter, bool keepEmptyLast)
{
    Out pieces;
    std::size_t start = 0;
    // An empty delimiter cannot split anything: the text is one piece.
    if (!delimiter.empty()) {
        for (std::size_t pos = text.find(delimiter); pos != S::npos; pos = text.find(delimiter, start)) {
            pieces.push_back(text.substr(start, pos - start));
            start = pos + delimiter.size();
        }
    }
    S last = text.substr(start);
    if (!last.empty() || keepEmptyLast) pieces.push_back(std::move(last));
    return pieces;
}

} // namespace

Tokeniser::Tokeniser() = default;
Tokeniser::~Tokeniser() = default;

std::vector<std::string> Tokeniser::tokenise(const std::string& text, const std::string& delimiter,
                                             bool keepEmptyLast)
{
    return split<std::string, std::vector<std::string>>(text, delimiter, keepEmptyLast);
}

std::vector<std::wstring> Tokeniser::tokenise(const std::wstring& text, const std::wstring& delimiter,
                                              bool keepEmptyLast)
{
    return split<std::wstring, std::vector<std::wstring>>(text, delimiter, keepEmptyLast);
}

std::list<std::string> Tokeniser::tokeniseAsList(const std::string& text, const std::string& delimiter,
                                                 bool keepEmptyLast)
{
    return split<std::string, std::list<std::string>>(text, delimiter, keepEmptyLast);
}

std::list<std::wstring> Tokeniser::tokeniseAsList(const std::wstring& text, const std::wstring& delimiter,
                                                  bool keepEmptyLast)
{
    return split<std::wstring, std::list<std::wstring>>(text, delimiter, keepEmptyLast);
}

} // namespace FenmarlCommonDLL
