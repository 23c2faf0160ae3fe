#include "TopologyConfig.h"

CTCFData& TopologyConfig() {
    static CTCFData topology;
    return topology;
}
