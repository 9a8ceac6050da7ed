#include "CRandGenerator.h"

CRandGenerator &CRandGenerator::Instance()
{
    static CRandGenerator generator;
    return generator;
}
