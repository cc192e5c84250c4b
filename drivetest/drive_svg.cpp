#include "drive_svg.h"

#include <cstdio>

namespace {

const char* const kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the UTF-8 sequence at text[i], or 0 when it is not one.
size_t SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    unsigned point = lead & (0x3Fu >> (length - 1));
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        point = point << 6 | (byte(i + k) & 0x3F);
    }
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < lowest || surrogate || point > 0x10FFFF ? 0 : length;
}

std::string Opening(const std::string& name, const Attributes& attributes) {
    std::string text = "<" + name;
    for (const Attribute& attribute : attributes)
        text += " " + attribute.name + "=\"" + EscapeMarkup(attribute.value) + "\"";
    return text;
}

}  // namespace

std::string EscapeMarkup(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const size_t length = SequenceLength(text, i);
        if (length == 0) {
            escaped += kReplacement;
            ++i;
            continue;
        }
        if (length > 1) {
            escaped.append(text, i, length);
        } else if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else if (c == '>') {
            escaped += "&gt;";
        } else if (c == '"') {
            escaped += "&quot;";
        } else if (c == '\'') {
            escaped += "&#39;";
        } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            escaped += kReplacement;
        } else {
            escaped += c;
        }
        i += length;
    }
    return escaped;
}

std::string Element(const std::string& name, const Attributes& attributes, const std::string& content) {
    return Opening(name, attributes) + ">" + content + "</" + name + ">";
}

std::string TextElement(const std::string& name, const Attributes& attributes, const std::string& text) {
    return Element(name, attributes, EscapeMarkup(text));
}

std::string EmptyElement(const std::string& name, const Attributes& attributes) {
    return Opening(name, attributes) + "/>";
}

std::string SvgNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Svg(double width, double height, const Attributes& more, const std::string& content) {
    Attributes attributes = {{"viewBox", "0 0 " + SvgNumber(width) + " " + SvgNumber(height)}};
    attributes.insert(attributes.end(), more.begin(), more.end());
    return Element("svg", attributes, content);
}

std::string SvgRect(SvgPoint at, double width, double height, const Attributes& more, const std::string& content) {
    Attributes attributes = {
        {"x", SvgNumber(at.x)}, {"y", SvgNumber(at.y)}, {"width", SvgNumber(width)}, {"height", SvgNumber(height)}};
    attributes.insert(attributes.end(), more.begin(), more.end());
    return content.empty() ? EmptyElement("rect", attributes) : Element("rect", attributes, content);
}

std::string SvgLine(SvgPoint from, SvgPoint to, const std::string& cssClass) {
    return EmptyElement("line", {{"x1", SvgNumber(from.x)},
                                 {"y1", SvgNumber(from.y)},
                                 {"x2", SvgNumber(to.x)},
                                 {"y2", SvgNumber(to.y)},
                                 {"class", cssClass}});
}

std::string SvgPolyline(const std::vector<SvgPoint>& points, const std::string& cssClass) {
    std::string list;
    for (const SvgPoint& point : points)
        list += (list.empty() ? "" : " ") + SvgNumber(point.x) + "," + SvgNumber(point.y);
    return EmptyElement("polyline", {{"points", list}, {"class", cssClass}});
}

std::string SvgText(SvgPoint at, const std::string& text, const Attributes& more) {
    Attributes attributes = {{"x", SvgNumber(at.x)}, {"y", SvgNumber(at.y)}};
    attributes.insert(attributes.end(), more.begin(), more.end());
    return TextElement("text", attributes, text);
}
