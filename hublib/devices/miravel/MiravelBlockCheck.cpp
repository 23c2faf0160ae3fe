// The traced block comparisons of the first family over the pure layout code.
#include "Logger.h"
#include "MiravelDevice.h"
#include "MiravelOtpLayout.h"

int32_t FindLastCFGBAndCompare(const uint8_t* memory, uint32_t memorySize, const uint8_t* block,
                               uint32_t blockSize) {
    CLogger log(L"FindLastCFGBAndCompare");
    return miravel::CompareWithLastBlock(memory, memorySize, block, blockSize);
}

int32_t CompareCFGBWithoutSerialNumber(const uint8_t* found, uint32_t foundAvailable,
                                       const uint8_t* given, uint32_t size) {
    CLogger log(L"CompareCFGBWithoutSerialNumber");
    return miravel::CompareIgnoringSerial(found, foundAvailable, given, size);
}
