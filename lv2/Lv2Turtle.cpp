#include "lv2/Lv2Turtle.h"

#include <charconv>
#include <cstring>
#include <sstream>

#include "lv2/Lv2Plugin.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Ui.h"

namespace {

const char* const kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix log:   <http://lv2plug.in/ns/ext/log#> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work:  <http://lv2plug.in/ns/ext/worker#> .\n"
    "@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .\n\n";

// Shortest text that reads back as the same float, always with a decimal
// point so that Turtle types it as a number with a fraction.
std::string number(float v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, r.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string base64(const unsigned char* data, size_t size) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    unsigned v = data[i] << 16;
    if (i + 1 < size) v |= data[i + 1] << 8;
    if (i + 2 < size) v |= data[i + 2];
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < size ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < size ? digits[v & 63] : '=';
  }
  return out;
}

std::string uri(const char* text) { return std::string("<") + text + ">"; }

}  // namespace

Lv2Turtle::Lv2Turtle(const VstParams (&table)[kNumParams]) { std::memcpy(table_, table, sizeof table_); }

std::string Lv2Turtle::name(int parameter) const {
  const VstParams& p = table_[parameter];
  std::string n(p.name, strnlen(p.name, sizeof p.name));
  const size_t a = n.find_first_not_of(' ');
  return a == std::string::npos ? n : n.substr(a, n.find_last_not_of(' ') - a + 1);
}

std::string Lv2Turtle::presetUri(const Preset& preset) {
  std::string slug;
  for (const char* c = preset.record.name; *c; ++c) {
    const char ch = *c;
    if (std::isalnum(static_cast<unsigned char>(ch))) slug += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    else if (!slug.empty() && slug.back() != '-') slug += '-';
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  char number[16];
  std::snprintf(number, sizeof number, "%03d", preset.program + 1);
  return std::string(Lv2Plugin::kUri) + "/presets/" + number + "-" + slug;
}

std::vector<Lv2Turtle::Preset> Lv2Turtle::namedPrograms(const std::vector<unsigned char>& bank) {
  std::vector<Preset> out;
  if (bank.size() != sizeof(VstProgram) * kNumPrograms) return out;
  const VstProgram unnamed;
  for (int k = 0; k < kNumPrograms; ++k) {
    Preset p{k, {}};
    std::memcpy(&p.record, bank.data() + k * sizeof(VstProgram), sizeof(VstProgram));
    p.record.name[sizeof p.record.name - 1] = 0;
    p.record.scaleName[sizeof p.record.scaleName - 1] = 0;
    if (std::strcmp(p.record.name, unnamed.name) != 0) out.push_back(p);
  }
  return out;
}

std::string Lv2Turtle::manifest(const std::string& binary, const std::string& uiBinary,
                                const std::vector<Preset>& presets) const {
  std::ostringstream t;
  t << kPrefixes;
  t << uri(Lv2Plugin::kUri) << "\n  a lv2:Plugin ;\n  lv2:binary <" << binary
    << "> ;\n  rdfs:seeAlso <Vellamor-ZUL.ttl> .\n";
  // The editor runs in the DSP module: the UI needs the instance and its
  // extension data, and the host's window and idle calls.
  t << "\n" << uri(Lv2Ui::kUri) << "\n  a ui:X11UI ;\n  ui:binary <" << uiBinary << "> ;\n"
    << "  lv2:requiredFeature ui:idleInterface, ui:parent, <http://lv2plug.in/ns/ext/instance-access>,\n"
    << "    <http://lv2plug.in/ns/ext/data-access> ;\n"
    << "  lv2:optionalFeature ui:resize, ui:touch, opts:options, urid:map ;\n"
    << "  opts:supportedOption ui:scaleFactor ;\n"
    << "  lv2:extensionData ui:idleInterface .\n";
  for (const Preset& p : presets)
    t << "\n<" << presetUri(p) << ">\n  a pset:Preset ;\n  lv2:appliesTo " << uri(Lv2Plugin::kUri)
      << " ;\n  rdfs:seeAlso <presets.ttl> .\n";
  return t.str();
}

std::string Lv2Turtle::plugin() const {
  std::ostringstream t;
  t << kPrefixes;
  t << uri(Lv2Plugin::kUri) << "\n"
    << "  a lv2:Plugin, lv2:InstrumentPlugin, doap:Project ;\n"
    << "  doap:name \"Vellamor-ZUL\" ;\n"
    << "  doap:license <https://quillmark.net/plugins/vellamor-zul/license> ;\n"
    << "  doap:maintainer [ foaf:name \"Quillmark\" ; foaf:homepage <https://quillmark.net/> ] ;\n"
    << "  lv2:minorVersion 0 ;\n  lv2:microVersion 0 ;\n"
    << "  lv2:requiredFeature urid:map ;\n"
    << "  lv2:optionalFeature lv2:hardRTCapable, opts:options, log:log, work:schedule ;\n"
    << "  opts:supportedOption bufsz:maxBlockLength, bufsz:nominalBlockLength ;\n"
    << "  lv2:extensionData state:interface, work:interface ;\n"
    << "  ui:ui " << uri(Lv2Ui::kUri) << " ;\n"
    << "  lv2:port [\n"
    << "    a lv2:InputPort, atom:AtomPort ;\n    atom:bufferType atom:Sequence ;\n"
    << "    atom:supports midi:MidiEvent, time:Position ;\n    lv2:designation lv2:control ;\n"
    << "    lv2:index " << Lv2Ports::kEvents << " ;\n    lv2:symbol \"events\" ;\n    lv2:name \"Events\"\n  ] , [\n"
    << "    a lv2:OutputPort, lv2:AudioPort ;\n    lv2:index " << Lv2Ports::kLeft
    << " ;\n    lv2:symbol \"out_left\" ;\n    lv2:name \"Left\"\n  ] , [\n"
    << "    a lv2:OutputPort, lv2:AudioPort ;\n    lv2:index " << Lv2Ports::kRight
    << " ;\n    lv2:symbol \"out_right\" ;\n    lv2:name \"Right\"\n  ]";
  for (int i = 0; i < Lv2Ports::kControls; ++i) {
    const Lv2Ports::Control& c = Lv2Ports::control(i);
    t << " , [\n    a lv2:InputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << Lv2Ports::kFirstControl + i << " ;\n"
      << "    lv2:symbol \"" << c.symbol << "\" ;\n"
      << "    lv2:name " << quoted(name(i)) << " ;\n"
      << "    lv2:default " << number(table_[i].value) << " ;\n"
      << "    lv2:minimum " << number(c.minimum) << " ;\n"
      << "    lv2:maximum " << number(c.maximum);
    switch (c.kind) {
      case Lv2Ports::Kind::kToggle: t << " ;\n    lv2:portProperty lv2:toggled"; break;
      case Lv2Ports::Kind::kInteger: t << " ;\n    lv2:portProperty lv2:integer"; break;
      case Lv2Ports::Kind::kEnumeration: t << " ;\n    lv2:portProperty lv2:integer, lv2:enumeration"; break;
      case Lv2Ports::Kind::kContinuous: break;
    }
    if (c.points) {
      t << " ;\n    lv2:scalePoint";
      for (const Lv2Ports::ScalePoint* p = c.points; p->label; ++p)
        t << (p == c.points ? " " : " ,\n      ") << "[ rdfs:label " << quoted(p->label)
          << " ; rdf:value " << number(p->value) << " ]";
    }
    t << "\n  ]";
  }
  t << " , [\n    a lv2:InputPort, lv2:ControlPort ;\n    lv2:index " << Lv2Ports::kFreewheel
    << " ;\n    lv2:symbol \"freewheel\" ;\n    lv2:name \"Freewheel\" ;\n"
    << "    lv2:designation lv2:freeWheeling ;\n    lv2:default 0.0 ;\n    lv2:minimum 0.0 ;\n"
    << "    lv2:maximum 1.0 ;\n    lv2:portProperty lv2:toggled, pprops:notOnGUI\n  ] .\n";
  // The keys of the saved state.
  const char* const keys[][3] = {
      {Lv2Plugin::kBankKey, "whole state", "atom:Chunk"},
      {Lv2Plugin::kProgramKey, "current program", "atom:Int"},
      {Lv2Plugin::kPresetKey, "program record", "atom:Chunk"}};
  for (const auto& k : keys)
    t << "\n" << uri(k[0]) << "\n  a rdf:Property ;\n  rdfs:label \"" << k[1] << "\" ;\n  rdfs:range " << k[2]
      << " .\n";
  return t.str();
}

std::string Lv2Turtle::presets(const std::vector<Preset>& presets) const {
  std::ostringstream t;
  t << kPrefixes;
  for (const Preset& p : presets) {
    t << "<" << presetUri(p) << ">\n  a pset:Preset ;\n  lv2:appliesTo " << uri(Lv2Plugin::kUri) << " ;\n"
      << "  rdfs:label " << quoted(p.record.name) << " ;\n"
      << "  rdfs:comment " << quoted("Sound set " + std::to_string(static_cast<int>(p.record.values[24].value) + 1) +
                                     ", scale " + p.record.scaleName)
      << " ;\n  lv2:port";
    bool first = true;
    for (int i = 0; i < Lv2Ports::kControls; ++i) {
      // Values for the whole plug-in are no part of a program.
      if (!table_[i].perProgram) continue;
      t << (first ? " " : " ,\n    ") << "[ lv2:symbol \"" << Lv2Ports::control(i).symbol
        << "\" ; pset:value " << number(p.record.values[i].value) << " ]";
      first = false;
    }
    // The program record itself: applied as choosing the program applies it,
    // sound set and scale included.
    t << " ;\n  state:state [\n    " << uri(Lv2Plugin::kPresetKey) << " \""
      << base64(reinterpret_cast<const unsigned char*>(&p.record), sizeof p.record)
      << "\"^^xsd:base64Binary\n  ] .\n\n";
  }
  return t.str();
}
