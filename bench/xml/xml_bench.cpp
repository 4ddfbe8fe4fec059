// Parses generated descriptor-like documents with this engine, pugixml and
// rapidxml and prints each one's throughput and the ratio to pugixml. Every
// iteration copies the input (pugixml and this engine copy it themselves;
// rapidxml parses in place, into a preallocated buffer) and frees the tree.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <pugixml.hpp>
#include <rapidxml/rapidxml.hpp>
#include <string>
#include <vector>

#include "xml/document.h"

namespace {

// One release of a product, as the setup's descriptors hold them.
void appendRelease(std::string& out, int n)
{
    const std::string id = std::to_string(n);
    out += "  <zem id=\"PRODUCT" + id + "\">\n"
           "    <xrelease>\n"
           "      <release id=\"RELEASE\">\n"
           "        <title>Package manager " + id + "</title>\n"
           "        <version>1.2." + id + "</version>\n"
           "        <setup form=\"full\" method=\"SILENT\" success=\"0\">setup.exe /S</setup>\n"
           "        <uninstall reg=\"2\">setup.exe /U</uninstall>\n"
           "        <os id=\"9X\">no</os>\n"
           "        <os id=\"NT\">yes</os>\n"
           "        <dependency id=\"IE\">5.0</dependency>\n"
           "        <dependency id=\"ZEM\">PARENT</dependency>\n"
           "        <!-- names by language -->\n"
           "        <names method=\"LANGUAGE\" default=\"0409\">\n"
           "          <item id=\"0407\"><data>Paketverwaltung &amp; Dienste</data></item>\n"
           "          <item id=\"0409\"><data>Package manager &amp; services</data></item>\n"
           "          <item id=\"040C\"><data>Gestionnaire de paquets</data></item>\n"
           "        </names>\n"
           "        <description><![CDATA[Installs <PkgMgr> & its services.]]></description>\n"
           "        <lastversion id=\"CRITICAL\">1.0." + id + "</lastversion>\n"
           "      </release>\n"
           "    </xrelease>\n"
           "  </zem>\n";
}

const char kProlog[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string descriptorDocument(size_t bytes)
{
    std::string out = kProlog;
    out += "<build>\n";
    for (int n = 0; out.size() < bytes; ++n)
        appendRelease(out, n);
    return out + "</build>\n";
}

std::string wideDocument(int siblings)
{
    std::string out = kProlog;
    out += "<build>\n";
    for (int n = 0; n < siblings; ++n)
        out += "  <item id=\"" + std::to_string(n) + "\">value</item>\n";
    return out + "</build>\n";
}

// Chains that reach the engine's depth limit (the root counts as one level).
std::string deepDocument(size_t bytes)
{
    std::string out = kProlog;
    out += "<build>";
    while (out.size() < bytes) {
        for (int level = 1; level < kXmlMaxDepth; ++level)
            out += "<e a=\"1\">t";
        for (int level = 1; level < kXmlMaxDepth; ++level)
            out += "</e>";
    }
    return out + "</build>\n";
}

// Long texts and values dense with entities.
std::string entityDocument(size_t bytes)
{
    std::string text;
    while (text.size() < 16384)
        text += "a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos; &amp;lt; ";
    std::string out = kProlog;
    out += "<build>\n";
    while (out.size() < bytes)
        out += "  <t v=\"&quot;&amp;&lt;&gt;&apos;&amp;&quot;\">" + text + "</t>\n";
    return out + "</build>\n";
}

struct Document {
    const char* name;
    std::string text;
};

std::vector<Document>& documents()
{
    static std::vector<Document> all = {
        {"descriptor_1MB", descriptorDocument(1 << 20)},
        {"descriptor_50MB", descriptorDocument(50u << 20)},
        {"wide_100000", wideDocument(100000)},
        {"deep_limit", deepDocument(1 << 20)},
        {"entities_1MB", entityDocument(1 << 20)},
    };
    return all;
}

void parseEngine(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        XmlDocument* document = xmlLoadDocument(text.data(), text.size());
        if (!document) {
            state.SkipWithError("the engine rejected the document");
            break;
        }
        benchmark::DoNotOptimize(document->nodes);
        xmlDeleteDocument(document);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void parsePugixml(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        pugi::xml_document document;
        pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
        if (!result) {
            state.SkipWithError("pugixml rejected the document");
            break;
        }
        benchmark::DoNotOptimize(document.first_child());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void parseRapidxml(benchmark::State& state, const std::string& text)
{
    std::vector<char> buffer(text.size() + 1);
    for (auto _ : state) {
        memcpy(buffer.data(), text.c_str(), text.size() + 1);
        rapidxml::xml_document<> document;
        document.parse<0>(buffer.data());
        benchmark::DoNotOptimize(document.first_node());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

// Collects each benchmark's throughput (the median when it is repeated) for
// the table printed at the end.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            auto bytes = run.counters.find("bytes_per_second");
            if ((single || median) && bytes != run.counters.end() && !run.error_occurred)
                megabytesPerSecond[run.run_name.function_name] = double(bytes->second) / 1e6;
        }
    }
    std::map<std::string, double> megabytesPerSecond;
};

}  // namespace

int main(int argc, char** argv)
{
    const char* parsers[] = {"engine", "pugixml", "rapidxml"};
    for (const Document& document : documents()) {
        const std::string& text = document.text;
        benchmark::RegisterBenchmark((std::string(document.name) + "/engine").c_str(), parseEngine, text)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string(document.name) + "/pugixml").c_str(), parsePugixml, text)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string(document.name) + "/rapidxml").c_str(), parseRapidxml, text)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto rate = [&](const Document& document, const char* parser) {
        auto found = reporter.megabytesPerSecond.find(std::string(document.name) + "/" + parser);
        return found == reporter.megabytesPerSecond.end() ? 0.0 : found->second;
    };
    const double baseline = rate(documents()[0], "engine");
    printf("\n%-16s %9s %9s %9s %9s  %s\n", "document", "size MB", "engine", "pugixml", "rapidxml",
           "engine/pugixml  engine time per MB vs descriptor_1MB");
    for (const Document& document : documents()) {
        const double engine = rate(document, parsers[0]);
        const double pugi = rate(document, parsers[1]);
        printf("%-16s %9.2f %9.0f %9.0f %9.0f  %13.2fx  %12.2fx\n", document.name, double(document.text.size()) / 1e6,
               engine, pugi, rate(document, parsers[2]), pugi > 0 ? engine / pugi : 0.0,
               engine > 0 ? baseline / engine : 0.0);
    }
    printf("(throughput in MB/s, 1 MB = 10^6 bytes)\n");
    return 0;
}
