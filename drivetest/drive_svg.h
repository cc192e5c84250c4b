// Markup for the drive test's page: elements written whole, with every text
// and attribute escaped, and the few SVG shapes its drawings are made of.
#pragma once

#include <string>
#include <vector>

struct Attribute {
    std::string name;
    std::string value;  // as it reads: escaped when written
};
using Attributes = std::vector<Attribute>;

// text with &, <, >, " and ' as character references; bytes that are not
// UTF-8, and control characters but tab and line breaks, as U+FFFD.
std::string EscapeMarkup(const std::string& text);
// <name attributes>content</name>: content is markup already.
std::string Element(const std::string& name, const Attributes& attributes, const std::string& content = "");
// <name attributes>text</name>, text escaped.
std::string TextElement(const std::string& name, const Attributes& attributes, const std::string& text);
// <name attributes/>: SVG's shapes.
std::string EmptyElement(const std::string& name, const Attributes& attributes);

struct SvgPoint {
    double x = 0;
    double y = 0;
};

// A coordinate as SVG takes it, to a tenth: "12.5".
std::string SvgNumber(double value);
// An <svg> of width by height units, scaled to its box.
std::string Svg(double width, double height, const Attributes& more, const std::string& content);
std::string SvgRect(SvgPoint at, double width, double height, const Attributes& more, const std::string& content = "");
std::string SvgLine(SvgPoint from, SvgPoint to, const std::string& cssClass);
std::string SvgPolyline(const std::vector<SvgPoint>& points, const std::string& cssClass);
std::string SvgText(SvgPoint at, const std::string& text, const Attributes& more = {});
