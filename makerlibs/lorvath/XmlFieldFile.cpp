// MSXML 6 glue: the document is parsed into plain field data at once and
// built from it for writing, so no COM object outlives a call.
#include "XmlFieldFile.h"

#include <windows.h>

#include <msxml2.h>

#include <cstdio>

#include "CodePage.h"

namespace lorvath {

namespace {

// DOMDocument60 and IXMLDOMDocument2; the toolchain's headers and import
// libraries stop short of them.
const CLSID kDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const IID kXmlDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// COM for the calling thread for the length of one call. A thread already in
// another apartment kind is used as it is.
class CComScope {
public:
    CComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComScope() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    HRESULT result_;
};

template <class T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef() { Reset(); }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* operator->() const { return object_; }
    T* Get() const { return object_; }
    T** Out() {
        Reset();
        return &object_;
    }
    void Reset() {
        if (object_) object_->Release();
        object_ = nullptr;
    }

private:
    T* object_ = nullptr;
};

class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const std::wstring& text) : text_(SysAllocString(text.c_str())) {}
    ~CBstr() { SysFreeString(text_); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR Get() const { return text_; }
    BSTR* Out() {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }

private:
    BSTR text_ = nullptr;
};

std::string HresultText(const char* what, HRESULT result) {
    char text[160];
    std::snprintf(text, sizeof(text), "%s (error 0x%08lX)", what,
                  static_cast<unsigned long>(result));
    return text;
}

bool CreateDocument(CComRef<IXMLDOMDocument2>& document, std::string& error) {
    const HRESULT result =
        CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kXmlDocument2,
                         reinterpret_cast<void**>(document.Out()));
    if (FAILED(result)) {
        error = HresultText("The XML parser (MSXML 6) is not available", result);
        return false;
    }
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    // No document type definitions, so a file cannot make the parser fetch or expand anything.
    CBstr prohibitDtd(L"ProhibitDTD");
    VARIANT yes;
    VariantInit(&yes);
    yes.vt = VT_BOOL;
    yes.boolVal = VARIANT_TRUE;
    document->setProperty(prohibitDtd.Get(), yes);
    return true;
}

VARIANT PathVariant(const CBstr& path) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_BSTR;
    variant.bstrVal = path.Get();
    return variant;
}

std::string NodeName(IXMLDOMNode* node) {
    CBstr name;
    node->get_nodeName(name.Out());
    return NarrowText(name.Get());
}

std::string NodeText(IXMLDOMNode* node) {
    CBstr text;
    node->get_text(text.Out());
    return NarrowText(text.Get());
}

// The element children of node, in order, passed to visit.
template <class Visit>
void ForEachElement(IXMLDOMNode* node, Visit visit) {
    CComRef<IXMLDOMNodeList> children;
    if (FAILED(node->get_childNodes(children.Out())) || !children.Get()) return;
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
        CComRef<IXMLDOMNode> child;
        DOMNodeType type = NODE_INVALID;
        if (SUCCEEDED(children->get_item(i, child.Out())) && child.Get() &&
            SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT) {
            visit(child.Get());
        }
    }
}

std::vector<std::pair<std::string, std::string>> ReadAttributes(IXMLDOMNode* node) {
    std::vector<std::pair<std::string, std::string>> attributes;
    CComRef<IXMLDOMNamedNodeMap> map;
    if (FAILED(node->get_attributes(map.Out())) || !map.Get()) return attributes;
    long count = 0;
    map->get_length(&count);
    for (long i = 0; i < count; ++i) {
        CComRef<IXMLDOMNode> attribute;
        if (SUCCEEDED(map->get_item(i, attribute.Out())) && attribute.Get()) {
            attributes.emplace_back(NodeName(attribute.Get()), NodeText(attribute.Get()));
        }
    }
    return attributes;
}

Field ReadField(IXMLDOMNode* element) {
    Field field;
    field.name = NodeName(element);
    ForEachElement(element, [&](IXMLDOMNode* child) {
        const std::string name = NodeName(child);
        if (!EqualsNoCase(name, "options")) {
            field.attributes.emplace_back(name, NodeText(child));
            return;
        }
        ForEachElement(child, [&](IXMLDOMNode* optionNode) {
            FieldOption option;
            option.text = NodeText(optionNode);
            for (const auto& attribute : ReadAttributes(optionNode)) {
                if (EqualsNoCase(attribute.first, "code")) option.code = attribute.second;
            }
            field.options.push_back(option);
        });
    });
    return field;
}

std::string ParseErrorText(IXMLDOMDocument2* document, const std::string& path) {
    CComRef<IXMLDOMParseError> parseError;
    CBstr reason;
    long line = 0;
    if (SUCCEEDED(document->get_parseError(parseError.Out())) && parseError.Get()) {
        parseError->get_reason(reason.Out());
        parseError->get_line(&line);
    }
    std::string text = NarrowText(reason.Get());
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    char where[32];
    std::snprintf(where, sizeof(where), " (line %ld)", line);
    return "Cannot read " + path + ": " + (text.empty() ? "not a valid XML file" : text) +
           (line > 0 ? where : "");
}

class CDocumentWriter {
public:
    explicit CDocumentWriter(IXMLDOMDocument2* document) : document_(document) {}

    // A child element of parent; null (with error set) when the name is not allowed.
    bool AddElement(IXMLDOMNode* parent, const std::string& name, CComRef<IXMLDOMElement>& out) {
        CBstr tag(WideText(name));
        if (FAILED(document_->createElement(tag.Get(), out.Out())) || !out.Get()) {
            error_ = "\"" + name + "\" cannot be an element name";
            return false;
        }
        CComRef<IXMLDOMNode> added;
        if (FAILED(parent->appendChild(out.Get(), added.Out()))) {
            error_ = "Cannot add element \"" + name + "\"";
            return false;
        }
        return true;
    }

    bool AddTextElement(IXMLDOMNode* parent, const std::string& name, const std::string& text,
                        CComRef<IXMLDOMElement>& out) {
        if (!AddElement(parent, name, out)) return false;
        CBstr value(WideText(text));
        out->put_text(value.Get());
        return true;
    }

    void SetAttribute(IXMLDOMElement* element, const std::string& name, const std::string& text) {
        CBstr attribute(WideText(name));
        CBstr value(WideText(text));
        VARIANT variant = PathVariant(value);
        element->setAttribute(attribute.Get(), variant);
    }

    // Line break and tabs before the next child, so the file reads well.
    void Indent(IXMLDOMNode* parent, int depth) {
        CBstr text(L"\r\n" + std::wstring(static_cast<size_t>(depth), L'\t'));
        CComRef<IXMLDOMText> node;
        CComRef<IXMLDOMNode> added;
        if (SUCCEEDED(document_->createTextNode(text.Get(), node.Out())) && node.Get()) {
            parent->appendChild(node.Get(), added.Out());
        }
    }

    bool AddField(IXMLDOMNode* root, const Field& field) {
        Indent(root, 1);
        CComRef<IXMLDOMElement> element;
        if (!AddElement(root, field.name, element)) return false;
        for (const auto& attribute : field.attributes) {
            Indent(element.Get(), 2);
            CComRef<IXMLDOMElement> child;
            if (!AddTextElement(element.Get(), attribute.first, attribute.second, child)) {
                return false;
            }
        }
        if (!field.options.empty()) {
            Indent(element.Get(), 2);
            CComRef<IXMLDOMElement> options;
            if (!AddElement(element.Get(), "options", options)) return false;
            for (const FieldOption& option : field.options) {
                Indent(options.Get(), 3);
                CComRef<IXMLDOMElement> child;
                if (!AddTextElement(options.Get(), "option", option.text, child)) return false;
                SetAttribute(child.Get(), "code", option.code);
            }
            Indent(options.Get(), 2);
        }
        Indent(element.Get(), 1);
        return true;
    }

    const std::string& Error() const { return error_; }

private:
    IXMLDOMDocument2* document_;
    std::string error_;
};

}  // namespace

bool ReadFieldFile(const std::wstring& path, FieldDocument& document, std::string& error) {
    const std::string narrowPath = NarrowText(path.c_str());
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        char code[32];
        std::snprintf(code, sizeof(code), " (error %lu)", GetLastError());
        error = "Cannot open " + narrowPath + code;
        return false;
    }
    CComScope com;
    CComRef<IXMLDOMDocument2> xml;
    if (!CreateDocument(xml, error)) return false;
    CBstr pathText(path);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(xml->load(PathVariant(pathText), &loaded)) || loaded != VARIANT_TRUE) {
        error = ParseErrorText(xml.Get(), narrowPath);
        return false;
    }
    CComRef<IXMLDOMElement> root;
    if (FAILED(xml->get_documentElement(root.Out())) || !root.Get()) {
        error = "Cannot read " + narrowPath + ": no root element";
        return false;
    }
    FieldDocument read;
    read.rootName = NodeName(root.Get());
    read.rootAttributes = ReadAttributes(root.Get());
    ForEachElement(root.Get(), [&](IXMLDOMNode* node) { read.fields.push_back(ReadField(node)); });
    document = std::move(read);
    return true;
}

bool WriteFieldFile(const std::wstring& path, const FieldDocument& document, std::string& error) {
    CComScope com;
    CComRef<IXMLDOMDocument2> xml;
    if (!CreateDocument(xml, error)) return false;
    CComRef<IXMLDOMProcessingInstruction> declaration;
    CComRef<IXMLDOMNode> added;
    CBstr target(L"xml");
    CBstr declarationText(L"version=\"1.0\" encoding=\"UTF-8\"");
    if (SUCCEEDED(xml->createProcessingInstruction(target.Get(), declarationText.Get(),
                                                   declaration.Out()))) {
        xml->appendChild(declaration.Get(), added.Out());
    }
    CDocumentWriter writer(xml.Get());
    CComRef<IXMLDOMElement> root;
    const std::string rootName = document.rootName.empty() ? "Configuration" : document.rootName;
    if (!writer.AddElement(xml.Get(), rootName, root)) {
        error = writer.Error();
        return false;
    }
    for (const auto& attribute : document.rootAttributes) {
        writer.SetAttribute(root.Get(), attribute.first, attribute.second);
    }
    for (const Field& field : document.fields) {
        if (!writer.AddField(root.Get(), field)) {
            error = writer.Error();
            return false;
        }
    }
    writer.Indent(root.Get(), 0);
    CBstr pathText(path);
    const HRESULT result = xml->save(PathVariant(pathText));
    if (FAILED(result)) {
        error = HresultText(("Cannot write " + NarrowText(path.c_str())).c_str(), result);
        return false;
    }
    return true;
}

}  // namespace lorvath
