#pragma once

#include "common/Export.h"

#include <list>
#include <string>
#include <vector>

namespace FenmarlCommonDLL {

// Splits text at a delimiter string. Empty pieces between delimiters stay; the
// piece after the last delimiter is kept when not empty, or always with keepEmptyLast.
class FENMARL_COMMON_API Tokeniser
{
public:
    virtual ~Tokeniser();
    static std::vector<std::string> tokenise(const std::string& text, const std::string& delimiter,
                                             bool keepEmptyLast);
    static std::vector<std::wstring> tokenise(const std::wstring& text, const std::wstring& delimiter,
                                              bool keepEmptyLast);
    static std::list<std::string> tokeniseAsList(const std::string& text, const std::string& delimiter,
                                                 bool keepEmptyLast);
    static std::list<std::wstring> tokeniseAsList(const std::wstring& text, const std::wstring& delimiter,
                                                  bool keepEmptyLast);

private:
    Tokeniser();
};

} // namespace FenmarlCommonDLL
