#include "app/specification/SpecificationVerdict.h"

#include <initializer_list>

int SpecificationVerdict::passed() const
{
    int result = -1;
    for (const DomainVerdict* domain : {&time[0], &frequency[0], &time[1], &frequency[1]}) {
        if (!domain->tested) continue;
        if (!domain->passed) return 0;
        result = 1;
    }
    return result;
}
