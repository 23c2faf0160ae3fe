#include "SheetTestSupport.h"

#include "ToolTestLine.h"
#include "TopologyConfig.h"

namespace guitest {

std::string ConfiguredLineTcf(const char* version) {
    return std::string("[Header]\r\nCount=3\r\nVersion=") + version +
           "\r\n"
           "[1-1-2]\r\nUINAME=Station A\r\nISHUB=1\r\nPTYPE=0\r\nMEMTYPE=3\r\nVERIFY=1\r\n"
           "DOPROGRAM=1\r\nBCFGFILE=\r\nSERTYPE=1\r\nSERALPHA=AB\r\nSERSTART=0001\r\n"
           "SERMAX=00FF\r\nSERINC=1\r\nSERCURRENT=0005\r\nSERHEXFMT=1\r\n"
           "[1-1-2-1]\r\nUINAME=\r\nISHUB=1\r\nPTYPE=2\r\nMEMTYPE=4\r\n"
           "[1-1-2-3]\r\nUINAME=\r\nISHUB=1\r\nPTYPE=2\r\nMEMTYPE=4\r\n"
           "[Header]\r\nCount=3\r\n";
}

bool StartWithTopology(CSheetThread& sheet, const std::string& tcfText, std::wstring& path) {
    path = FreshFile(L"line.tcf");
    WriteBytes(path, tcfText);
    SetDefaultTcfKey(&path);
    TopologyConfig().ClearTopology();
    return UseLine(L"tool-line.json") && sheet.Start();
}

}  // namespace guitest
