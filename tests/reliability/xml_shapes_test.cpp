// Well-formed XML of every shape is read as any other: many attributes on one element, deep
// nesting, an internal DTD with attribute defaults or entities, UTF-16 with a byte order mark,
// ISO-8859-1. Stored clients never vanish from list for the shape of their file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "staged_root.h"

namespace {

using kyto::test::ProgramResult;
using kyto::test::StagedRoot;
using kyto::test::writeFile;

std::string attributes(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += " x" + std::to_string(i) + "=\"v\"";
  return text;
}

std::string nested(int depth, const std::string& inside) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<n>";
  text += inside;
  for (int i = 0; i < depth; ++i) text += "</n>";
  return text;
}

// A catalogue of one type, "Nimbus", in UTF-16LE with its byte order mark.
std::string utf16Catalogue() {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<UPNP_CLIENTTYPES><CLIENTTYPE "
      "SHORT_NAME=\"Nimbus\" FULL_NAME=\"Nimbus TV\"/></UPNP_CLIENTTYPES>\n";
  std::string utf16 = "\xFF\xFE";
  for (const char c : text) utf16 += std::string{c, '\0'};
  return utf16;
}

struct Step {
  std::vector<std::string> args;
  int status;
  std::string out;  // what standard output holds, or "*" for anything
  std::string err;
};

struct Shape {
  const char* name;
  std::function<void(const StagedRoot&)> stage;
  std::vector<Step> runs;
};

const std::string kStored = "0|02:00:00:00:00:01||||-1||0\n0|02:00:00:00:00:02||||-1||0\n";
const std::string kAdded =
    "0|02:00:00:00:00:01||||-1||0\n0|02:00:00:00:00:02||||-1||0\n"
    "0|02:00:00:00:00:03|||Nimbus|-1||0\n";
const Step kAddNimbus = {
    {"clientadm", "add", "-m", "02:00:00:00:00:03", "-t", "Nimbus"}, 0, "", ""};

void catalogue(const StagedRoot& root, const std::string& text) {
  writeFile(root.paths().clientTypesXml, text);
}

void twoClients(const StagedRoot& root, const std::string& firstAttributes,
                const std::string& wrapped = "") {
  const std::string clients = "<CLIENT MAC=\"02:00:00:00:00:01\"" + firstAttributes +
                              "/><CLIENT MAC=\"02:00:00:00:00:02\"/>";
  writeFile(root.paths().clientsXml,
            "<?xml version=\"1.0\"?>\n" +
                (wrapped.empty() ? "<UPNP_CLIENTS>" + clients + "</UPNP_CLIENTS>\n"
                                 : nested(80, "<UPNP_CLIENTS>" + clients + "</UPNP_CLIENTS>")));
}

TEST(XmlShapes, WellFormedFilesOfEveryShapeAreRead) {
  const std::vector<Shape> shapes = {
      {"a CLIENT of 300 attributes",
       [](const StagedRoot& root) { twoClients(root, attributes(300)); },
       {{{"clientadm", "list"}, 0, kStored, ""},
        {{"clientadm", "add", "-m", "02:00:00:00:00:03"}, 0, "", ""},
        {{"clientadm", "list"}, 0, kStored + "0|02:00:00:00:00:03||||-1||0\n", ""},
        {{"clientadm", "check"}, 1, "*", ""}}},
      {"a list 80 elements deep",
       [](const StagedRoot& root) { twoClients(root, "", "wrapped"); },
       {{{"clientadm", "list"}, 0, kStored, ""}}},
      {"a catalogue whose DTD gives an attribute a default",
       [](const StagedRoot& root) {
         twoClients(root, "");
         catalogue(root,
                   "<!DOCTYPE UPNP_CLIENTTYPES [<!ATTLIST CLIENTTYPE BFLAG CDATA \"0\">]>\n"
                   "<UPNP_CLIENTTYPES><CLIENTTYPE SHORT_NAME=\"Nimbus\"/></UPNP_CLIENTTYPES>\n");
       },
       {kAddNimbus, {{"clientadm", "list"}, 0, kAdded, ""}}},
      {"a catalogue with entities",
       [](const StagedRoot& root) {
         twoClients(root, "");
         catalogue(root,
                   "<!DOCTYPE UPNP_CLIENTTYPES [<!ENTITY brand \"Nimbus\">]>\n"
                   "<UPNP_CLIENTTYPES><CLIENTTYPE SHORT_NAME=\"Nimbus\" FULL_NAME=\"&brand; TV\"/>"
                   "</UPNP_CLIENTTYPES>\n");
       },
       {kAddNimbus, {{"clientadm", "check"}, 0, "", ""}}},
      {"a catalogue in UTF-16 with a byte order mark",
       [](const StagedRoot& root) {
         twoClients(root, "");
         catalogue(root, utf16Catalogue());
       },
       {kAddNimbus, {{"clientadm", "list"}, 0, kAdded, ""}, {{"clientadm", "check"}, 0, "", ""}}},
      {"a catalogue in ISO-8859-1",
       [](const StagedRoot& root) {
         twoClients(root, "");
         catalogue(root,
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<UPNP_CLIENTTYPES><CLIENTTYPE "
                   "SHORT_NAME=\"Nimbus\" FULL_NAME=\"T\xe9l\xe9\"/></UPNP_CLIENTTYPES>\n");
       },
       {kAddNimbus, {{"clientadm", "bad"}, 1, "*", ""}}},
      {"an agent's device of 5,000 attributes",
       [](const StagedRoot& root) {
         root.makeConfigDir();
         writeFile(root / "agent.out", "<root><device><mac>m1</mac></device><device" +
                                           attributes(5000) + "><mac>m2</mac></device></root>");
         const std::string agent = root.paths().halyardAgent;
         writeFile(agent, "#!/bin/sh\nexec cat \"$KYTO_ROOT/agent.out\"\n");
         ASSERT_EQ(chmod(agent.c_str(), 0755), 0);
       },
       {{{"clientadm", "list"}, 0, "0|m1||||-1||2\n0|m2||||-1||2\n", ""}}},
      {"a tree file 80 elements deep",
       [](const StagedRoot& root) {
         writeFile(root / "tree.xml", "<T><TYPE NAME=\"Music\"><A ID=\"0x1\" NAME=\"Album\"/>" +
                                          nested(78, "") + "</TYPE></T>");
       },
       {{{"treeshaper", "--read", "{root}/tree.xml", "Music"}, 0, "1 Album\n", ""}}},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    StagedRoot root;
    shape.stage(root);
    for (const Step& run : shape.runs) {
      std::vector<std::string> args = run.args;
      for (std::string& arg : args)
        if (arg.starts_with("{root}")) arg.replace(0, 6, root.path());
      SCOPED_TRACE(args[1]);
      const ProgramResult result = root.run(args);
      EXPECT_EQ(result.exitStatus, run.status);
      if (run.out != "*") {
        EXPECT_EQ(result.out, run.out);
      }
      EXPECT_EQ(result.out.find("well-formed"), std::string::npos);  // check finds the file sound
      EXPECT_EQ(result.err, run.err);
    }
  }
}

// The usage text shows what such a catalogue's names are, read in their own encoding.
TEST(XmlShapes, ACatalogueInAnyEncodingGivesItsNamesInUtf8) {
  StagedRoot root;
  root.makeConfigDir();
  const std::pair<std::string, std::string> catalogues[] = {
      {utf16Catalogue(), "\t\tNimbus:Nimbus TV\n"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<UPNP_CLIENTTYPES><CLIENTTYPE "
       "SHORT_NAME=\"Nimbus\" FULL_NAME=\"T\xe9l\xe9\"/></UPNP_CLIENTTYPES>\n",
       "\t\tNimbus:T\xc3\xa9l\xc3\xa9\n"},
  };
  for (const auto& [text, line] : catalogues) {
    catalogue(root, text);
    const std::string usage = root.run({"clientadm"}).out;
    EXPECT_NE(usage.find(line), std::string::npos) << usage;
  }
}

}  // namespace

namespace {

// What is in the list file after a step: a text it holds, and a bound on its size.
struct FileAfter {
  std::string holds;
  std::size_t mostBytes = 0;  // 0: not checked
};

struct Conformance {
  const char* name;
  std::string list;
  std::vector<Step> runs;
  FileAfter after = {};
};

std::string listOf(const std::string& prolog, const std::string& content) {
  return "<?xml version=\"1.0\"?>\n" + prolog + "<UPNP_CLIENTS>" + content + "</UPNP_CLIENTS>\n";
}

std::string leftAlone(const std::string& why) {
  return "clientadm: {list} was left as it was: " + why + "\n";
}

const char* const kParameterEntities =
    "its document type uses parameter entities, which a rewrite would not keep as written";
const std::string kOther = "<CLIENT MAC=\"02:00:00:00:00:09\"/>";
const Step kListsNothing = {{"clientadm", "list"}, 0, "", ""};

// The list's reader and writer as XML 1.0 has them: what is not well-formed is no list, entities
// mean what they stand for, every other entry keeps its text, and no change writes a list that
// its reader would refuse, or fails without saying why.
TEST(XmlShapes, ListsAreReadAndWrittenAsXml10Says) {
  const std::string quotes(12'000'000, '"');
  std::string chains;
  for (int i = 0; i < 560; ++i) chains += nested(250, "x");
  std::string laughs = "<!DOCTYPE UPNP_CLIENTS [<!ENTITY a0 \"lol\">";
  for (int i = 1; i <= 8; ++i) {
    std::string ten;
    for (int n = 0; n < 10; ++n) ten += "&a" + std::to_string(i - 1) + ";";
    laughs += "<!ENTITY a" + std::to_string(i) + " \"" + ten + "\">";
  }
  laughs += "]>";
  const std::vector<Conformance> cases = {
      {"a malformed element declaration",
       listOf("<!DOCTYPE UPNP_CLIENTS [<!ELEMENT a (b|)>]>", kOther),
       {kListsNothing}},
      {"an undefined entity", listOf("", "<CLIENT MAC=\"&tv;\"/>" + kOther), {kListsNothing}},
      {"a recursive entity",
       listOf("<!DOCTYPE UPNP_CLIENTS [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]>",
              "<CLIENT MAC=\"&a;\"/>" + kOther),
       {kListsNothing}},
      {"replacement text that breaks the content",
       listOf("<!DOCTYPE UPNP_CLIENTS [<!ENTITY c \"</UPNP_CLIENTS>\">]>", "&c;" + kOther),
       {kListsNothing}},
      {"an entity in a MAC",
       listOf("<!DOCTYPE UPNP_CLIENTS [<!ENTITY tv \"00:11:22:33:44:55\">]>",
              "<CLIENT MAC=\"&tv;\" USER=\"family\"/>" + kOther),
       {{{"clientadm", "list"},
         0,
         "0|00:11:22:33:44:55||||-1|family|0\n0|02:00:00:00:00:09||||-1||0\n",
         ""},
        {{"clientadm", "add", "-m", "02:00:00:00:00:01"}, 0, "", ""},
        {{"clientadm", "del", "-m", "00:11:22:33:44:55"}, 0, "", ""},
        {{"clientadm", "list"},
         0,
         "0|02:00:00:00:00:01||||-1||0\n0|02:00:00:00:00:09||||-1||0\n",
         ""}},
       {"<!ENTITY tv \"00:11:22:33:44:55\">"}},
      {"text of another element, white space included",
       listOf("", "<NOTE>Room <b>1</b> <i>east</i></NOTE>" + kOther),
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"}, 0, "", ""}},
       {"  <NOTE>Room <b>1</b> <i>east</i></NOTE>\n"}},
      {"12 million quotes, 72 MB escaped",
       listOf("", "<CLIENT MAC=\"02:00:00:00:00:08\" USER='" + quotes + "'/>"),
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"},
         1,
         "",
         leftAlone("the new list would be larger than the 64 MiB the tools read")}},
       {"", 12'100'000}},
      {"560 chains 250 deep",
       listOf("", "<NOTE>" + chains + "</NOTE>" + kOther),
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"}, 0, "", ""},
        {{"clientadm", "list"},
         0,
         "0|02:00:00:00:00:01||||-1||0\n0|02:00:00:00:00:09||||-1||0\n",
         ""}},
       {"", 1'100'000}},
      {"entities that expand beyond the reader's bounds",
       listOf(laughs, "<NOTE>&a8;</NOTE>" + kOther),
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"},
         1,
         "",
         leftAlone("its entities expand beyond the bounds the tools read within")}}},
      {"a document type that gives CLIENT attributes defaults or folds them",
       listOf("<!DOCTYPE UPNP_CLIENTS [<!ATTLIST CLIENT DENY CDATA \"1\">]>", kOther),
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"},
         1,
         "",
         leftAlone("its document type gives CLIENT attributes defaults or types, which the new "
                   "client would take on")},
        {{"clientadm", "del", "-m", "02:00:00:00:00:09"}, 0, "", ""}}},
      {"a standalone list whose parameter entity gives CLIENT a default",
       "<?xml version=\"1.0\" standalone=\"yes\"?>\n<!DOCTYPE UPNP_CLIENTS [<!ENTITY % d "
       "\"<!ATTLIST CLIENT DENY CDATA '1'>\"> %d;]><UPNP_CLIENTS>" +
           kOther + "</UPNP_CLIENTS>\n",
       {{{"clientadm", "list"}, 0, "1|02:00:00:00:00:09||||-1||0\n", ""},
        {{"clientadm", "add", "-m", "02:00:00:00:00:01"}, 1, "", leftAlone(kParameterEntities)},
        {{"clientadm", "del", "-m", "02:00:00:00:00:09"}, 1, "", leftAlone(kParameterEntities)}},
       {"%d;]>"}},
      {"parameter entities that stand for nothing read, kept as written",
       "<?xml version=\"1.0\" standalone=\"yes\"?>\n<!DOCTYPE UPNP_CLIENTS [<!ENTITY % n \"\">"
       "<!ENTITY % e SYSTEM \"e.ent\"> %e;]><UPNP_CLIENTS>" +
           kOther + "</UPNP_CLIENTS>\n",
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"}, 0, "", ""}},
       {"<!ENTITY % e SYSTEM \"e.ent\"> %e;]>"}},
      {"an external parameter entity in a standalone Latin-1 list, kept as written",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"yes\"?>\n<!DOCTYPE "
       "UPNP_CLIENTS [<!ENTITY % e SYSTEM \"e.ent\"> %e;]><UPNP_CLIENTS>" +
           kOther + "</UPNP_CLIENTS>\n",
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"}, 0, "", ""}},
       {"<!ENTITY % e SYSTEM \"e.ent\"> %e;]>"}},
      {"an undeclared parameter entity, which only outside declarations could give",
       listOf("<!DOCTYPE UPNP_CLIENTS [%u;<!ATTLIST CLIENT DENY CDATA '1'>]>", kOther),
       {{{"clientadm", "del", "-m", "02:00:00:00:00:09"},
         1,
         "",
         leftAlone("it needs declarations from outside the file (a parameter entity it does not "
                   "declare), which the tools never read")}}},
      {"an encoding nobody knows",
       "<?xml version=\"1.0\" encoding=\"X-NONE\"?><UPNP_CLIENTS>" + kOther + "</UPNP_CLIENTS>",
       {{{"clientadm", "add", "-m", "02:00:00:00:00:01"},
         1,
         "",
         leftAlone("in the encoding \"X-NONE\", which this machine can't convert")},
        {{"clientadm", "del", "-m", "02:00:00:00:00:09"},
         1,
         "",
         leftAlone("in the encoding \"X-NONE\", which this machine can't convert")}}},
  };
  for (const Conformance& c : cases) {
    SCOPED_TRACE(c.name);
    StagedRoot root;
    root.makeConfigDir();
    writeFile(root.paths().clientsXml, c.list);
    for (const Step& run : c.runs) {
      SCOPED_TRACE(run.args[1]);
      const ProgramResult result = root.run(run.args);
      std::string err = run.err;
      if (const auto at = err.find("{list}"); at != std::string::npos)
        err.replace(at, 6, root.paths().clientsXml);
      EXPECT_EQ(result.exitStatus, run.status);
      EXPECT_EQ(result.out, run.out);
      EXPECT_EQ(result.err, err);
    }
    const std::string file = kyto::test::readFile(root.paths().clientsXml);
    EXPECT_NE(file.find(c.after.holds), std::string::npos);
    if (c.after.mostBytes > 0) {
      EXPECT_LE(file.size(), c.after.mostBytes);
    }
  }
}

// The catalogue's names mean what their entities stand for, in the usage as anywhere.
TEST(XmlShapes, CatalogueEntitiesAreExpanded) {
  StagedRoot root;
  root.makeConfigDir();
  catalogue(root,
            "<!DOCTYPE UPNP_CLIENTTYPES [<!ENTITY n \"Nimbus\">]>\n<UPNP_CLIENTTYPES><CLIENTTYPE "
            "SHORT_NAME=\"A1\" FULL_NAME=\"&n; TV\"/></UPNP_CLIENTTYPES>\n");
  EXPECT_NE(root.run({"clientadm"}).out.find("\t\tA1:Nimbus TV\n"), std::string::npos);
}

}  // namespace
