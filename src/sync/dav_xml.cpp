#include "sync/dav_xml.h"

#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

#include <unistd.h>

#include <cstring>
#include <memory>

namespace domora {

namespace {

// ---- reading -------------------------------------------------------------------------------------

enum class Name {
    Other, Multistatus, Response, Href, Status, Propstat, Prop, Getetag, AddressData, Displayname, Resourcetype,
    Collection, Addressbook, CurrentUserPrincipal, HomeSet, SupportedReportSet, SyncCollection, SyncToken, Error, Getctag,
};

Name name_of(const xmlChar* ns, const xmlChar* local) {
    if (!ns || !local) return Name::Other;
    const char* n = reinterpret_cast<const char*>(ns);
    const char* l = reinterpret_cast<const char*>(local);
    if (std::strcmp(n, kDavNs) == 0) {
        static const std::pair<const char*, Name> kDav[] = {
            {"multistatus", Name::Multistatus}, {"response", Name::Response}, {"href", Name::Href},
            {"status", Name::Status}, {"propstat", Name::Propstat}, {"prop", Name::Prop},
            {"getetag", Name::Getetag}, {"displayname", Name::Displayname}, {"resourcetype", Name::Resourcetype},
            {"collection", Name::Collection}, {"current-user-principal", Name::CurrentUserPrincipal},
            {"supported-report-set", Name::SupportedReportSet}, {"sync-collection", Name::SyncCollection},
            {"sync-token", Name::SyncToken}, {"error", Name::Error},
        };
        for (const auto& [text, name] : kDav) {
            if (std::strcmp(l, text) == 0) return name;
        }
    } else if (std::strcmp(n, kCardDavNs) == 0) {
        if (std::strcmp(l, "address-data") == 0) return Name::AddressData;
        if (std::strcmp(l, "addressbook") == 0) return Name::Addressbook;
        if (std::strcmp(l, "addressbook-home-set") == 0) return Name::HomeSet;
    } else if (std::strcmp(n, kCalendarServerNs) == 0) {
        if (std::strcmp(l, "getctag") == 0) return Name::Getctag;
    }
    return Name::Other;
}

int status_code(const std::string& line) {
    // "HTTP/1.1 404 Not Found"
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) return 0;
    int code = 0;
    for (std::size_t i = space + 1; i < line.size() && line[i] >= '0' && line[i] <= '9' && code < 1000; ++i) code = code * 10 + (line[i] - '0');
    return code;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

struct ReaderDeleter {
    void operator()(xmlTextReader* r) const { xmlFreeTextReader(r); }
};
using Reader = std::unique_ptr<xmlTextReader, ReaderDeleter>;

// No network, no entities replaced, no DTD loaded; errors are ours to report.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;

Reader open_reader(std::string_view xml) {
    return Reader(xmlReaderForMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, kParseOptions));
}

// What one propstat held, before its status says whether the values count.
struct Props {
    std::string etag;
    bool has_address_data = false;
    std::string address_data;
    std::string displayname;
    std::string sync_token;
    std::string ctag;
    bool is_collection = false;
    bool is_addressbook = false;
    bool supports_sync_collection = false;
    std::vector<std::string> principal;
    std::vector<std::string> home_set;
};

void take(DavResponse& r, Props& p) {
    if (!p.etag.empty()) r.etag = std::move(p.etag);
    if (p.has_address_data) {
        r.has_address_data = true;
        r.address_data = std::move(p.address_data);
    }
    if (!p.displayname.empty()) r.displayname = std::move(p.displayname);
    if (!p.sync_token.empty()) r.sync_token = std::move(p.sync_token);
    if (!p.ctag.empty()) r.ctag = std::move(p.ctag);
    r.is_collection = r.is_collection || p.is_collection;
    r.is_addressbook = r.is_addressbook || p.is_addressbook;
    r.supports_sync_collection = r.supports_sync_collection || p.supports_sync_collection;
    for (std::string& h : p.principal) r.principal.push_back(std::move(h));
    for (std::string& h : p.home_set) r.home_set.push_back(std::move(h));
}

bool inside(const std::vector<Name>& path, Name name) {
    for (const Name n : path) {
        if (n == name) return true;
    }
    return false;
}

}  // namespace

Result<DavMultistatus> parse_multistatus(std::string_view xml) {
    DavMultistatus out;
    Result<void> read = parse_multistatus_each(xml, [&](DavResponse& r) { out.responses.push_back(std::move(r)); }, out.sync_token);
    if (!read) return read.error();
    return out;
}

namespace {

Result<void> read_multistatus(Reader reader, const DavResponseFn& each, std::string& sync_token);

}  // namespace

Result<void> parse_multistatus_each(std::string_view xml, const DavResponseFn& each, std::string& sync_token) {
    if (xml.size() > static_cast<std::size_t>(INT32_MAX)) return Error{"the server's answer is too large"};
    return read_multistatus(open_reader(xml), each, sync_token);
}

Result<void> parse_multistatus_file(int fd, const DavResponseFn& each, std::string& sync_token) {
    if (::lseek(fd, 0, SEEK_SET) != 0) return Error{"the server's answer could not be read back"};
    return read_multistatus(Reader(xmlReaderForFd(fd, nullptr, nullptr, kParseOptions)), each, sync_token);
}

namespace {

Result<void> read_multistatus(Reader reader, const DavResponseFn& each, std::string& sync_token) {
    if (!reader) return Error{"the server's answer is not XML"};
    std::vector<Name> path;
    std::string text;
    DavResponse response;
    Props props;
    int propstat_status = 0;
    bool saw_multistatus = false;
    int read = 0;
    while ((read = xmlTextReaderRead(reader.get())) == 1) {
        const int type = xmlTextReaderNodeType(reader.get());
        if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA || type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE ||
            type == XML_READER_TYPE_WHITESPACE) {
            const xmlChar* value = xmlTextReaderConstValue(reader.get());
            if (value) text += reinterpret_cast<const char*>(value);
            continue;
        }
        if (type != XML_READER_TYPE_ELEMENT && type != XML_READER_TYPE_END_ELEMENT) continue;
        const bool empty = type == XML_READER_TYPE_ELEMENT && xmlTextReaderIsEmptyElement(reader.get());
        if (type == XML_READER_TYPE_ELEMENT) {
            const Name name = name_of(xmlTextReaderConstNamespaceUri(reader.get()), xmlTextReaderConstLocalName(reader.get()));
            if (path.empty() && name == Name::Multistatus) saw_multistatus = true;
            path.push_back(name);
            text.clear();
            if (name == Name::Response) {
                response = DavResponse{};
            } else if (name == Name::Propstat) {
                props = Props{};
                propstat_status = 0;
            }
            if (!empty) continue;
        }
        // The end of an element (or an empty one): what it held is complete.
        if (path.empty()) break;
        const Name name = path.back();
        path.pop_back();
        const Name parent = path.empty() ? Name::Other : path.back();
        const bool in_prop = inside(path, Name::Prop);
        switch (name) {
            case Name::Href:
                if (parent == Name::Response) response.href = trimmed(text);
                else if (in_prop && parent == Name::CurrentUserPrincipal) props.principal.push_back(trimmed(text));
                else if (in_prop && parent == Name::HomeSet) props.home_set.push_back(trimmed(text));
                break;
            case Name::Status:
                if (parent == Name::Response) response.status = status_code(trimmed(text));
                else if (parent == Name::Propstat) propstat_status = status_code(trimmed(text));
                break;
            case Name::Getetag:
                if (in_prop) props.etag = trimmed(text);
                break;
            case Name::Getctag:
                if (in_prop) props.ctag = trimmed(text);
                break;
            case Name::AddressData:
                if (in_prop) {
                    props.has_address_data = true;
                    props.address_data = std::move(text);
                }
                break;
            case Name::Displayname:
                if (in_prop) props.displayname = trimmed(text);
                break;
            case Name::Collection:
                if (in_prop && parent == Name::Resourcetype) props.is_collection = true;
                break;
            case Name::Addressbook:
                if (in_prop && parent == Name::Resourcetype) props.is_addressbook = true;
                break;
            case Name::SyncCollection:
                if (in_prop && inside(path, Name::SupportedReportSet)) props.supports_sync_collection = true;
                break;
            case Name::Propstat:
                if (propstat_status == 200 || propstat_status == 0) {
                    take(response, props);
                } else if (response.missing_status == 0) {
                    response.missing_status = propstat_status;
                }
                break;
            case Name::Response:
                // Handed over and let go: a second end in the same place (one response inside another) gives an empty one, whatever the reader did with this.
                if (parent == Name::Multistatus) {
                    each(response);
                    response = DavResponse{};
                }
                break;
            case Name::SyncToken:
                if (parent == Name::Multistatus) sync_token = trimmed(text);
                else if (in_prop) props.sync_token = trimmed(text);
                break;
            default:
                break;
        }
        text.clear();
    }
    if (read < 0) return Error{"the server's answer is not well-formed XML"};
    if (!saw_multistatus) return Error{"the server's answer is not a WebDAV multistatus"};
    return {};
}

}  // namespace

std::string dav_error_condition(std::string_view xml) {
    Reader reader = open_reader(xml);
    if (!reader) return {};
    int depth_of_error = -1;
    while (xmlTextReaderRead(reader.get()) == 1) {
        if (xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT) continue;
        const int depth = xmlTextReaderDepth(reader.get());
        const Name name = name_of(xmlTextReaderConstNamespaceUri(reader.get()), xmlTextReaderConstLocalName(reader.get()));
        if (depth_of_error < 0) {
            if (depth == 0 && name == Name::Error) {
                depth_of_error = 0;
                continue;
            }
            return {};
        }
        if (depth == depth_of_error + 1) {
            const xmlChar* local = xmlTextReaderConstLocalName(reader.get());
            return local ? reinterpret_cast<const char*>(local) : "";
        }
    }
    return {};
}

// ---- writing ---------------------------------------------------------------------------------------

namespace {

// A small document written through libxml2's writer, so every text is escaped as XML wants.
class Body {
public:
    Body() {
        m_buffer = xmlBufferCreate();
        m_writer = m_buffer ? xmlNewTextWriterMemory(m_buffer, 0) : nullptr;
        if (m_writer) xmlTextWriterStartDocument(m_writer, nullptr, "utf-8", nullptr);
    }
    ~Body() {
        if (m_writer) xmlFreeTextWriter(m_writer);
        if (m_buffer) xmlBufferFree(m_buffer);
    }
    Body(const Body&) = delete;
    Body& operator=(const Body&) = delete;

    // The root declares both namespaces: d for DAV, c for CardDAV.
    void root(const char* prefix, const char* name) {
        if (!m_writer) return;
        xmlTextWriterStartElementNS(m_writer, x(prefix), x(name), nullptr);
        xmlTextWriterWriteAttribute(m_writer, x("xmlns:d"), x(kDavNs));
        xmlTextWriterWriteAttribute(m_writer, x("xmlns:c"), x(kCardDavNs));
    }
    // One more namespace on the root, right after root().
    void namespace_attribute(const char* prefix, const char* uri) {
        if (m_writer) xmlTextWriterWriteAttribute(m_writer, x((std::string("xmlns:") + prefix).c_str()), x(uri));
    }
    void open(const char* prefix, const char* name) {
        if (m_writer) xmlTextWriterStartElementNS(m_writer, x(prefix), x(name), nullptr);
    }
    void close() {
        if (m_writer) xmlTextWriterEndElement(m_writer);
    }
    void empty(const char* prefix, const char* name) {
        open(prefix, name);
        close();
    }
    void text(const char* prefix, const char* name, const std::string& value) {
        if (m_writer) xmlTextWriterWriteElementNS(m_writer, x(prefix), x(name), nullptr, x(value.c_str()));
    }
    std::string finish() {
        if (!m_writer) return {};
        xmlTextWriterEndDocument(m_writer);
        xmlTextWriterFlush(m_writer);
        return std::string(reinterpret_cast<const char*>(xmlBufferContent(m_buffer)), static_cast<std::size_t>(xmlBufferLength(m_buffer)));
    }

private:
    static const xmlChar* x(const char* text) { return reinterpret_cast<const xmlChar*>(text); }
    xmlBufferPtr m_buffer = nullptr;
    xmlTextWriterPtr m_writer = nullptr;
};

std::string propfind(std::initializer_list<std::pair<const char*, const char*>> props) {
    Body body;
    body.root("d", "propfind");
    body.open("d", "prop");
    for (const auto& [prefix, name] : props) body.empty(prefix, name);
    body.close();
    body.close();
    return body.finish();
}

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string propfind_principal_body() { return propfind({{"d", "current-user-principal"}, {"d", "resourcetype"}}); }
std::string propfind_home_set_body() { return propfind({{"c", "addressbook-home-set"}}); }
std::string propfind_collections_body() {
    return propfind({{"d", "resourcetype"}, {"d", "displayname"}, {"d", "supported-report-set"}});
}
std::string propfind_sync_token_body() { return propfind({{"d", "sync-token"}}); }
std::string propfind_ctag_body() {
    Body body;
    body.root("d", "propfind");
    body.namespace_attribute("cs", kCalendarServerNs);
    body.open("d", "prop");
    body.empty("cs", "getctag");
    body.close();
    body.close();
    return body.finish();
}
std::string propfind_etags_body() { return propfind({{"d", "resourcetype"}, {"d", "getetag"}}); }

namespace {

// <d:prop> asking for getetag, and address-data with the cards.
void card_props(Body& body, bool with_cards) {
    body.open("d", "prop");
    body.empty("d", "getetag");
    if (with_cards) body.empty("c", "address-data");
    body.close();
}

}  // namespace

std::string sync_collection_body(const std::string& token, bool with_cards) {
    Body body;
    body.root("d", "sync-collection");
    body.text("d", "sync-token", token);
    body.text("d", "sync-level", "1");
    card_props(body, with_cards);
    body.close();
    return body.finish();
}

std::string multiget_body(const std::vector<std::string>& hrefs) {
    Body body;
    body.root("c", "addressbook-multiget");
    card_props(body, true);
    for (const std::string& href : hrefs) body.text("d", "href", href);
    body.close();
    return body.finish();
}

std::string query_all_body() {
    Body body;
    body.root("c", "addressbook-query");
    card_props(body, true);
    body.empty("c", "filter");
    body.close();
    return body.finish();
}

std::string normalized_href(std::string_view href) {
    // An absolute URL counts by its path.
    const std::size_t scheme = href.find("://");
    if (scheme != std::string_view::npos) {
        const std::size_t slash = href.find('/', scheme + 3);
        href = slash == std::string_view::npos ? std::string_view("/") : href.substr(slash);
    }
    std::string out;
    out.reserve(href.size());
    for (std::size_t i = 0; i < href.size(); ++i) {
        if (href[i] == '%' && i + 2 < href.size() && hex(href[i + 1]) >= 0 && hex(href[i + 2]) >= 0) {
            const auto c = static_cast<unsigned char>(hex(href[i + 1]) * 16 + hex(href[i + 2]));
            if (unreserved(c)) {
                out += static_cast<char>(c);
            } else {
                const char* digits = "0123456789ABCDEF";
                out += '%';
                out += digits[c >> 4];
                out += digits[c & 15];
            }
            i += 2;
        } else {
            out += href[i];
        }
    }
    return out;
}

}  // namespace domora
