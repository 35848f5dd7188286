#pragma once
// Test support: reads a written XML body back with libxml2's tree reader
// into plain nodes that tests compare with trees written by hand.

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace xmltree {

// An element: its name and either its text (no child elements) or its
// children. Text between child elements is recorded as "#text" children so
// that stray blanks show up as differences.
struct Node {
    std::string name;
    std::string text;
    std::vector<Node> children;

    bool operator==(const Node&) const = default;
};

// Leaf with text.
inline Node leaf(std::string name, std::string text = "") { return {std::move(name), std::move(text), {}}; }
// Element holding other elements.
inline Node node(std::string name, std::vector<Node> children) { return {std::move(name), "", std::move(children)}; }

inline std::ostream& operator<<(std::ostream& out, const Node& n) {
    out << "<" << n.name << ">";
    if (n.children.empty()) out << n.text;
    for (const Node& child : n.children) out << child;
    return out << "</" << n.name << ">";
}

inline Node convert(xmlNodePtr element) {
    Node result{reinterpret_cast<const char*>(element->name), "", {}};
    bool hasElements = false;
    for (xmlNodePtr child = element->children; child != nullptr; child = child->next)
        hasElements = hasElements || child->type == XML_ELEMENT_NODE;
    for (xmlNodePtr child = element->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            result.children.push_back(convert(child));
        } else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
            xmlChar* content = xmlNodeGetContent(child);
            std::string text = content == nullptr ? "" : reinterpret_cast<const char*>(content);
            xmlFree(content);
            if (hasElements) result.children.push_back({"#text", text, {}});
            else result.text += text;
        }
    }
    return result;
}

// The document's root, or nullopt when libxml2 does not read the text as
// well-formed XML.
inline std::optional<Node> parse(const std::string& text) {
    xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), "body.xml", nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (document == nullptr) return std::nullopt;
    std::optional<Node> root;
    if (xmlNodePtr element = xmlDocGetRootElement(document)) root = convert(element);
    xmlFreeDoc(document);
    return root;
}

// The encoding named in the document's XML declaration, as libxml2 reads it.
inline std::string declaredEncoding(const std::string& text) {
    xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), "body.xml", nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (document == nullptr) return "";
    std::string encoding = document->encoding == nullptr ? "" : reinterpret_cast<const char*>(document->encoding);
    xmlFreeDoc(document);
    return encoding;
}

}  // namespace xmltree
