#include "MardleTree.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "engine/SafeOutput.h"
#include "engine/WordScrambler.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

using namespace xercesc;

namespace {

const char kSourceName[] = "Common/MardleTree/MardleTree.cpp";

// Every failure is two trace lines: where, then what.
#define MARDLE_TRACE(level, ...)                                                          \
    do {                                                                                  \
        DebugTrace(kLogInfo, "__FILE__='%s',__LINE__=%d", kSourceName, __LINE__);         \
        DebugTrace(level, __VA_ARGS__);                                                   \
    } while (0)

// The two messages kept in their original language, as GBK bytes:
// "attribute not found" and "only text and element nodes are supported".
const char kAttributeMissing[] =
    "\xCA\xF4\xD0\xD4\xCE\xB4\xD5\xD2\xB5\xBD (NULL == pstr){pstr=%8p,pchAttrName='%s'}";
const char kUnsupportedNode[] =
    "\xB6\xD4\xD3\xDA" "XML\xB5\xC4\xBD\xDA\xB5\xE3\xA3\xAC\xC4\xBF\xC7\xB0\xBD\xF6\xD6\xA7\xB3\xD6"
    "NODE_TEXT\xA1\xA2NODE_ELEMENT\xA3\xA1{enuType=%d}";

const char kNoImplementation[] = "Requested implementation is not supported";
const char kMsgNoRoot[] = "NULL == doc->getDocumentElement() Error)";
const char kMsgReadFailed[] = "_FromXML(pElementRoot,pXMLDoc) == false";
const char kMsgParseFailed[] = "ParseDocument failed.";

// Settings documents are two levels deep; anything far deeper is not one of
// ours and would only exhaust the stack.
constexpr int kMaxDepth = 256;
// Largest file FromXMLFile reads.
constexpr int64_t kMaxFileSize = 64 * 1024 * 1024;

using XString = std::basic_string<XMLCh>;

// Narrow text (ANSI code page) to the library's 16-bit units, whichever
// type XMLCh is.
XString ToXString(const std::string& narrow) {
    std::u16string u = plat::NarrowToUtf16(narrow);
    XString out;
    out.reserve(u.size());
    for (char16_t c : u) out.push_back(static_cast<XMLCh>(c));
    return out;
}

XString ToXString(const char* ascii) {
    XString out;
    for (; *ascii; ++ascii) out.push_back(static_cast<XMLCh>(static_cast<unsigned char>(*ascii)));
    return out;
}

std::string FromXString(const XMLCh* text) {
    if (!text) return std::string();
    std::u16string u;
    for (; *text; ++text) u.push_back(static_cast<char16_t>(*text));
    return plat::WideToNarrow(plat::Utf16ToWide(u));
}

std::string ExceptionText(const XMLException& e) { return FromXString(e.getMessage()); }

// The library is initialised and terminated around every operation; the
// calls are counted by the library but are not safe against each other, so
// one process-wide lock serialises every operation that uses it.
plat::Mutex& DomLock() {
    static plat::Mutex lock{std::wstring()};
    return lock;
}

class DomSection {
public:
    DomSection() : hold_(DomLock()) {}

private:
    plat::MutexLock hold_;
};

// Initialises the library for the life of the object; a failure is traced.
class DomLibrary {
public:
    DomLibrary() {
        try {
            XMLPlatformUtils::Initialize();
            ready_ = true;
        } catch (const XMLException& e) {
            MARDLE_TRACE(kLogError, "%s", ExceptionText(e).c_str());
        } catch (...) {
            MARDLE_TRACE(kLogError, "%s", "XMLPlatformUtils::Initialize failed");
        }
    }
    ~DomLibrary() {
        if (ready_) XMLPlatformUtils::Terminate();
    }
    DomLibrary(const DomLibrary&) = delete;
    DomLibrary& operator=(const DomLibrary&) = delete;
    bool Ready() const { return ready_; }

private:
    bool ready_ = false;
};

DOMImplementation* Implementation() {
    static const XMLCh kFeatures[] = {'X', 'M', 'L', ' ', '1', '.', '0', 0};
    DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(kFeatures);
    if (!impl) MARDLE_TRACE(kLogError, "%s", kNoImplementation);
    return impl;
}

// Records fatal parse errors; the parse then stops and fails as a whole,
// so a damaged document never reads as a partial tree.
class FatalErrorRecorder : public DOMErrorHandler {
public:
    bool handleError(const DOMError& error) override {
        if (error.getSeverity() == DOMError::DOM_SEVERITY_FATAL_ERROR) {
            failed = true;
            return false;
        }
        return true;
    }
    bool failed = false;
};

// Leading decimal integer after optional white space and sign, clamped to
// the 32-bit range; no digits count as 0.
long OrderValue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT32_MAX) + 1) v = static_cast<long long>(INT32_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<long>(v);
}

const char kOrderIndex[] = "_OrderIndex";

}  // namespace

// DOM-side work of the tree: element building and reading, serialisation
// and parsing. Runs inside a DomSection with the library initialised.
struct MardleDom {
    static DOMElement* Build(const MardleTree& tree, DOMDocument* doc);
    static bool Read(MardleTree& tree, const DOMElement* element, int depth, bool* tooDeep);
    static bool Serialise(const MardleTree& tree, std::string& text);
    static void Parse(MardleTree& tree, MardleTree::ParseResult& result, const std::string& bytes);
};

// ------------------------------------------------------------- value class

MardleTree::MardleTree() = default;

MardleTree::MardleTree(const std::string& name) : m_strName(name) {}

MardleTree::~MardleTree() = default;

MardleTree::MardleTree(const MardleTree& other)
    : m_strName(other.m_strName),
      m_attributes(other.m_attributes),
      m_children(other.m_children ? new ChildMap(*other.m_children) : nullptr),
      m_strValue(other.m_strValue) {}

MardleTree& MardleTree::operator=(const MardleTree& other) {
    if (this == &other) return *this;
    // Copy first, then take the copy over: other may live inside this
    // tree's children, which the assignment replaces.
    MardleTree copy(other);
    m_strName.swap(copy.m_strName);
    m_attributes.swap(copy.m_attributes);
    m_children.swap(copy.m_children);
    m_strValue.swap(copy.m_strValue);
    return *this;
}

MardleTree::MardleTree(MardleTree&& other) noexcept = default;
MardleTree& MardleTree::operator=(MardleTree&& other) noexcept {
    if (this == &other) return *this;
    // As for copying: take other's content out before the old is dropped.
    MardleTree taken(std::move(other));
    m_strName.swap(taken.m_strName);
    m_attributes.swap(taken.m_attributes);
    m_children.swap(taken.m_children);
    m_strValue.swap(taken.m_strValue);
    return *this;
}

bool MardleTree::Clear() {
    m_strName.clear();
    m_strValue.clear();
    m_attributes.clear();
    if (m_children) m_children->clear();
    return true;
}

bool MardleTree::SetAttribute(const std::string& name, const std::string& value) {
    m_attributes[name] = value;
    return true;
}

const std::string* MardleTree::FindAttribute(const std::string& name) const {
    auto it = m_attributes.find(name);
    return it == m_attributes.end() ? nullptr : &it->second;
}

std::string* MardleTree::FindAttribute(const std::string& name) {
    auto it = m_attributes.find(name);
    return it == m_attributes.end() ? nullptr : &it->second;
}

bool MardleTree::GetAttribute(std::string& out, const char* name, bool logMiss) const {
    const std::string* value = name ? FindAttribute(name) : nullptr;
    if (!value) {
        if (logMiss) MARDLE_TRACE(kLogError, kAttributeMissing, static_cast<const void*>(value), name ? name : "");
        return false;
    }
    out = *value;
    return true;
}

void MardleTree::RemoveAttribute(const char* name) {
    if (!name || !*name)
        m_attributes.clear();
    else
        m_attributes.erase(name);
}

MardleTree& MardleTree::AddChild(const std::string& name, const MardleTree& tree) {
    if (!m_children) m_children.reset(new ChildMap);
    // Equal keys go behind the existing ones, keeping insertion order.
    auto it = m_children->insert(ChildMap::value_type(name, tree));
    it->second.m_strName = name;
    return it->second;
}

bool MardleTree::GetChild(MardleTree*& out, const char* name) {
    out = nullptr;
    if (!m_children || m_children->empty()) return true;
    if (!name || !*name) {
        out = &m_children->begin()->second;
        return true;
    }
    auto it = m_children->find(name);  // the first of equal keys
    if (it != m_children->end()) out = &it->second;
    return true;
}

bool MardleTree::GetChild(const MardleTree*& out, const char* name) const {
    MardleTree* found = nullptr;
    const_cast<MardleTree*>(this)->GetChild(found, name);
    out = found;
    return true;
}

bool MardleTree::GetChildren(std::vector<MardleTree*>& out, const char* name, bool mapOrder) {
    out.clear();
    if (!m_children) return true;
    if (!name || !*name) {
        for (auto& entry : *m_children) out.push_back(&entry.second);
    } else {
        auto range = m_children->equal_range(name);
        for (auto it = range.first; it != range.second; ++it) out.push_back(&it->second);
    }
    if (mapOrder || out.empty()) return true;
    for (MardleTree* child : out)
        if (!child->FindAttribute(kOrderIndex)) return true;
    std::stable_sort(out.begin(), out.end(), [](const MardleTree* a, const MardleTree* b) {
        return OrderValue(*a->FindAttribute(kOrderIndex)) < OrderValue(*b->FindAttribute(kOrderIndex));
    });
    return true;
}

bool MardleTree::ToVector(std::vector<std::string>& out, const char* path, const char* separators) {
    out.clear();
    if (!path || !separators) return false;
    const char* p = path;
    for (;;) {
        while (*p && std::strchr(separators, *p)) ++p;
        if (!*p) break;
        const char* start = p;
        while (*p && !std::strchr(separators, *p)) ++p;
        out.emplace_back(start, p);
    }
    return true;
}

bool MardleTree::GetNodeByPath(MardleTree*& out, const char* path, const char* separators) {
    std::vector<std::string> names;
    if (!ToVector(names, path, separators)) {
        MARDLE_TRACE(kLogError, "%s", "ToVector(vectPath,pchPath,pchSeparator) == false{}");
        return false;
    }
    MardleTree* node = this;
    for (const std::string& name : names) {
        MardleTree* child = nullptr;
        node->GetChild(child, name.c_str());
        node = child;
        if (!node) break;
    }
    out = node;
    return true;
}

// ------------------------------------------------------------- DOM side

DOMElement* MardleDom::Build(const MardleTree& tree, DOMDocument* doc) {
    if (tree.m_strName.empty()) return nullptr;
    DOMElement* element = nullptr;
    try {
        element = doc->createElement(ToXString(tree.m_strName).c_str());
    } catch (const DOMException&) {
        element = nullptr;
    }
    if (!element) {
        MARDLE_TRACE(kLogError, "pXMLDoc->createElement(bstrName, &pElement) error{m_strName='%s'}",
                     tree.m_strName.c_str());
        return nullptr;
    }
    for (const auto& attribute : tree.m_attributes)
        element->setAttribute(ToXString(attribute.first).c_str(), ToXString(attribute.second).c_str());
    if (!tree.m_strValue.empty()) {
        DOMText* text = doc->createTextNode(ToXString(tree.m_strValue).c_str());
        if (!text || !element->appendChild(text)) {
            MARDLE_TRACE(kLogError, "%s", "pElement->appendChild( pElementItem, &pNode)");
            return nullptr;
        }
    }
    std::vector<MardleTree*> children;
    const_cast<MardleTree&>(tree).GetChildren(children, nullptr, false);
    for (const MardleTree* child : children) {
        DOMElement* built = Build(*child, doc);
        if (!built) return nullptr;
        if (!element->appendChild(built)) {
            MARDLE_TRACE(kLogError, "%s", "pElement->appendChild( pElementItem, &pNode)");
            return nullptr;
        }
    }
    return element;
}

bool MardleDom::Serialise(const MardleTree& tree, std::string& text) {
    DOMImplementation* impl = Implementation();
    if (!impl) return false;
    DOMDocument* doc = nullptr;
    DOMLSSerializer* writer = nullptr;
    DOMLSOutput* output = nullptr;
    bool ok = false;
    try {
        MemBufFormatTarget target(1023);
        doc = impl->createDocument();
        DOMElement* root = Build(tree, doc);
        if (root && doc->appendChild(root)) {
            writer = impl->createLSSerializer();
            output = impl->createLSOutput();
            const XString encoding = ToXString("UTF-8");
            output->setEncoding(encoding.c_str());
            output->setByteStream(&target);
            if (writer->write(doc, output)) {
                text.assign(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
                ok = true;
            } else {
                MARDLE_TRACE(kLogError, "%s", "ToXML(wstring & strXml) failed");
            }
        }
    } catch (...) {
        MARDLE_TRACE(kLogError, "%s", "ToXML(wstring & strXml) failed");
        ok = false;
    }
    if (output) output->release();
    if (writer) writer->release();
    if (doc) doc->release();
    return ok;
}

bool MardleDom::Read(MardleTree& tree, const DOMElement* element, int depth, bool* tooDeep) {
    tree.Clear();
    tree.m_strName = FromXString(element->getTagName());
    const DOMNamedNodeMap* attributes = element->getAttributes();
    if (!attributes) {
        MARDLE_TRACE(kLogError, "%s", "pElement->get_attributes(&pNodeMap)");
        return false;
    }
    for (XMLSize_t i = 0; i < attributes->getLength(); ++i) {
        const DOMNode* a = attributes->item(i);
        tree.SetAttribute(FromXString(a->getNodeName()), FromXString(a->getNodeValue()));
    }
    const DOMNode* node = element->getFirstChild();
    if (!node) {
        MARDLE_TRACE(kLogError, "%s", "pElement->getFirstChild()");
        return false;
    }
    for (; node; node = node->getNextSibling()) {
        switch (node->getNodeType()) {
            case DOMNode::ELEMENT_NODE: {
                if (depth + 1 >= kMaxDepth) {
                    *tooDeep = true;
                    return false;
                }
                MardleTree child;
                Read(child, static_cast<const DOMElement*>(node), depth + 1, tooDeep);
                if (*tooDeep) return false;
                std::string name = child.m_strName;
                tree.AddChild(name, child);
                break;
            }
            case DOMNode::TEXT_NODE:
                tree.m_strValue = FromXString(node->getNodeValue());
                break;
            default:
                MARDLE_TRACE(kLogWarn, kUnsupportedNode, static_cast<int>(node->getNodeType()));
                break;
        }
    }
    return true;
}

void MardleDom::Parse(MardleTree& tree, MardleTree::ParseResult& result, const std::string& bytes) {
    DOMImplementation* impl = Implementation();
    if (!impl) return;
    auto fail = [&result](const char* message) {
        result.code = MardleTree::kParseFailed;
        result.detail = MardleTree::kParseFailedDetail;
        result.message = message;
    };
    DOMLSParser* parser = nullptr;
    FatalErrorRecorder errors;
    try {
        parser = impl->createLSParser(DOMImplementationLS::MODE_SYNCHRONOUS,
                                                                          nullptr);
        DOMConfiguration* config = parser->getDomConfig();
        config->setParameter(XMLUni::fgDOMNamespaces, false);
        config->setParameter(XMLUni::fgXercesSchema, false);
        config->setParameter(XMLUni::fgXercesSchemaFullChecking, false);
        config->setParameter(XMLUni::fgDOMValidate, false);
        config->setParameter(XMLUni::fgDOMDatatypeNormalization, true);
        // A settings document has no document type; refusing one keeps
        // external entities and entity expansion out of the parse.
        config->setParameter(XMLUni::fgDOMDisallowDoctype, true);
        config->setParameter(XMLUni::fgXercesLoadExternalDTD, false);
        config->setParameter(XMLUni::fgXercesDisableDefaultEntityResolution, true);
        config->setParameter(XMLUni::fgDOMErrorHandler, static_cast<DOMErrorHandler*>(&errors));
        parser->resetDocumentPool();

        MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), "fakeid", false);
        Wrapper4InputSource input(&source, false);
        DOMDocument* doc = parser->parse(&input);
        const DOMElement* root = doc ? doc->getDocumentElement() : nullptr;
        if (errors.failed) {
            fail(kMsgParseFailed);
        } else if (!root) {
            fail(kMsgNoRoot);
        } else {
            bool tooDeep = false;
            if (Read(tree, root, 0, &tooDeep) && !tooDeep) {
                result.code = MardleTree::kParseOk;
                result.detail = 0;
                result.message.clear();
            } else if (tooDeep) {
                tree.Clear();
                fail(kMsgParseFailed);
            } else {
                fail(kMsgReadFailed);
            }
        }
    } catch (...) {
        tree.Clear();
        fail(kMsgParseFailed);
    }
    if (parser) parser->release();
}

// ------------------------------------------------------------- XML text

bool MardleTree::ToXML(std::string& text) const {
    try {
        DomSection section;
        DomLibrary library;
        if (!library.Ready()) return false;
        return MardleDom::Serialise(*this, text);
    } catch (...) {
        return false;
    }
}

bool MardleTree::FromXML(ParseResult& result, const std::string& text) {
    try {
        Clear();
        DomSection section;
        DomLibrary library;
        if (!library.Ready()) return false;
        MardleDom::Parse(*this, result, text);
        return true;
    } catch (...) {
        Clear();
        result.code = kParseFailed;
        result.detail = kParseFailedDetail;
        result.message = kMsgParseFailed;
        return true;
    }
}

// ------------------------------------------------------------- files

bool MardleTree::ToXMLFile(const char* fileName, const char* keyText) const {
    if (!fileName) return false;
    return ToXMLFile(plat::NarrowToWide(fileName), keyText);
}

bool MardleTree::ToXMLFileContent(std::string& bytes, const char* keyText) const {
    try {
        bytes.clear();
        if (!ToXML(bytes)) {
            MARDLE_TRACE(kLogError, "%s", "ToXML(strXml) == false{}");
            return false;
        }
        if (keyText) {
            // The document is kept as 16-bit units on disk: an odd byte
            // count gets one zero byte.
            if (bytes.size() % 2) bytes.push_back('\0');
            if (*keyText) {
                WordScrambler scrambler(keyText, kScrambleBlockWords);
                scrambler.Scramble(&bytes[0], bytes.size());
            }
        }
        return true;
    } catch (...) {
        bytes.clear();
        return false;
    }
}

bool MardleTree::ToXMLFile(const std::wstring& fileName, const char* keyText, bool replaceExisting) const {
    try {
        std::string bytes;
        if (!ToXMLFileContent(bytes, keyText)) return false;
        const std::string narrowName = plat::WideToNarrow(fileName);
        // Written and flushed under a temporary name beside the file, then
        // renamed over it: the name only ever shows a complete document,
        // even to another process reading while the file is first created.
        const std::wstring temp = corva::TemporaryName(fileName);
        corva::SafeOutput out;
        if (plat::IsDirectory(fileName) || plat::IsLink(fileName) || temp.empty() || !out.Open(temp, false)) {
            MARDLE_TRACE(kLogError, "::CreateFile Failed!{pchFileName='%s',::GetLastError()=%d}", narrowName.c_str(),
                         static_cast<int>(out.LastError()));
            return false;
        }
        if (!out.File().Write(bytes.data(), bytes.size()) || !out.Commit(true)) {
            MARDLE_TRACE(kLogError, "::WriteFile Failed!{pchFileName='%s',::GetLastError()=%d}", narrowName.c_str(),
                         static_cast<int>(out.LastError()));
            return false;
        }
        if (!(replaceExisting ? plat::RenameReplacing(temp, fileName) : plat::RenameNoReplace(temp, fileName))) {
            plat::RemoveFile(temp);
            MARDLE_TRACE(kLogError, "::MoveFileEx Failed!{pchFileName='%s'}", narrowName.c_str());
            return false;
        }
        return true;
    } catch (...) {
        MARDLE_TRACE(kLogError, "%s", "ToXMLFile(const char * pchFileName,const char * pchEncryptKey) failed");
        return false;
    }
}

bool MardleTree::FromXMLFile(const std::wstring& fileName, const char* keyText) {
    try {
        const std::string narrowName = plat::WideToNarrow(fileName);
        plat::File file;
        int64_t size = 0;
        if (!file.Open(fileName, plat::File::Mode::Read) || !file.Size(&size)) {
            MARDLE_TRACE(kLogError, "::CreateFile Failed!{pchFileName='%s',::GetLastError()=%d}", narrowName.c_str(),
                         static_cast<int>(file.LastError()));
            return false;
        }
        if (size < 0 || size > kMaxFileSize) {
            MARDLE_TRACE(kLogError, "::ReadFile Failed!{pchFileName='%s',size=%lld}", narrowName.c_str(),
                         static_cast<long long>(size));
            Clear();
            return false;
        }
        std::string buffer(static_cast<size_t>(size) + 2, '\0');
        size_t got = 0;
        if (!file.ReadFull(&buffer[0], static_cast<size_t>(size), &got)) got = 0;
        file.Close();

        size_t length = got;
        if (keyText) {
            if (*keyText) {
                WordScrambler scrambler(keyText, kScrambleBlockWords);
                scrambler.Unscramble(&buffer[0], got);
            }
            // The text runs up to the first 16-bit unit of two zero bytes.
            length = 0;
            while (buffer[length] != '\0' || buffer[length + 1] != '\0') length += 2;
        }
        buffer.resize(length);
        ParseResult result;
        FromXML(result, buffer);
        if (result.code != kParseOk) {
            MARDLE_TRACE(kLogError, "%s\n", result.message.c_str());
            return false;
        }
        return true;
    } catch (...) {
        Clear();
        return false;
    }
}
