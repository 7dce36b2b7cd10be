// One XML element held in memory: its name, attributes, child elements and
// text, with conversion to and from XML text through the Xerces-C DOM and
// file reading and writing, optionally scrambled with WordScrambler.
// Names and texts are narrow (system ANSI code page); the XML is UTF-8.
// Nothing here throws: failures are reported through DebugTrace and results.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class MardleTree {
public:
    // Attributes and children are ordered by byte-wise comparison of the
    // names; children with equal names keep their insertion order.
    using AttributeMap = std::map<std::string, std::string>;
    using ChildMap = std::multimap<std::string, MardleTree>;

    // Outcome of FromXML: code 0 and detail 0 on success; code 2, detail
    // 5000 and a message on failure.
    struct ParseResult {
        int32_t code = 0;
        int32_t detail = 0;
        std::string message;
    };
    static constexpr int32_t kParseOk = 0;
    static constexpr int32_t kParseFailed = 2;
    static constexpr int32_t kParseFailedDetail = 5000;

    // Block size of the file scrambling, in 32-bit words.
    static constexpr int32_t kScrambleBlockWords = 1024;

    MardleTree();
    explicit MardleTree(const std::string& name);
    ~MardleTree();
    MardleTree(const MardleTree& other);
    MardleTree& operator=(const MardleTree& other);
    MardleTree(MardleTree&& other) noexcept;
    MardleTree& operator=(MardleTree&& other) noexcept;

    // Empties name and value, erases all attributes and children (an
    // existing children map stays allocated, empty). Always true.
    bool Clear();

    bool SetAttribute(const std::string& name, const std::string& value);
    // The value of the attribute of exactly that name, or nullptr.
    const std::string* FindAttribute(const std::string& name) const;
    std::string* FindAttribute(const std::string& name);
    // Copies the value on a hit; on a miss leaves out alone and, when
    // logMiss is set, traces the missing attribute.
    bool GetAttribute(std::string& out, const char* name, bool logMiss = true) const;
    // Null or empty name: erases all attributes.
    void RemoveAttribute(const char* name);
    const AttributeMap& Attributes() const { return m_attributes; }

    // Stores a copy of tree under name, behind existing children of that
    // name, and returns the stored child (its m_strName is name).
    MardleTree& AddChild(const std::string& name, const MardleTree& tree);
    // Null or empty name: the first child in map order; otherwise the
    // earliest inserted child of that name. out is nullptr when there is
    // none. Always true.
    bool GetChild(MardleTree*& out, const char* name);
    bool GetChild(const MardleTree*& out, const char* name) const;
    // The children (all, or those named name), in map order; unless mapOrder
    // is set and when every one of them carries "_OrderIndex", sorted by
    // that attribute's integer value (stable). Always true.
    bool GetChildren(std::vector<MardleTree*>& out, const char* name, bool mapOrder);
    bool HasChildMap() const { return m_children != nullptr; }
    size_t ChildCount() const { return m_children ? m_children->size() : 0; }

    // Splits a path at any of the separator characters; runs of separators
    // count as one, leading and trailing ones add nothing. False when path
    // or separators is null.
    static bool ToVector(std::vector<std::string>& out, const char* path, const char* separators);
    // The descendant the path names (first child of each name in turn; an
    // empty path names this tree), or nullptr. False only when the path
    // cannot be split.
    bool GetNodeByPath(MardleTree*& out, const char* path, const char* separators);

    // The tree as a UTF-8 XML document (declaration first), as the DOM
    // writer produces it.
    bool ToXML(std::string& text) const;
    // Writes the document to a file. With a key (possibly empty) the file
    // holds the document followed by one zero byte when its length is odd,
    // scrambled in place when the key is non-empty; without a key (nullptr)
    // the plain document. The new content replaces the file only once it is
    // complete and flushed; on any failure the old file is left as it was.
    // replaceExisting false: the file is created only while its name is
    // free, so a document written meanwhile by someone else is never lost.
    bool ToXMLFile(const std::wstring& fileName, const char* keyText, bool replaceExisting = true) const;
    bool ToXMLFile(const char* fileName, const char* keyText) const;
    // The bytes ToXMLFile writes for this key, for callers that store them
    // themselves.
    bool ToXMLFileContent(std::string& bytes, const char* keyText) const;
    // Parses document bytes (the encoding is detected from them) into this
    // tree, which is cleared first. False only when the DOM library cannot
    // be used; the outcome is in result.
    bool FromXML(ParseResult& result, const std::string& text);
    // Reads a file, unscrambling it when the key is non-empty, and parses
    // it. With a key the document ends at the first pair of zero bytes at
    // an even offset. True when the parse succeeded (code 0).
    bool FromXMLFile(const std::wstring& fileName, const char* keyText);

    std::string m_strName;

private:
    friend struct MardleDom;
    AttributeMap m_attributes;
    std::unique_ptr<ChildMap> m_children;

public:
    std::string m_strValue;
};
