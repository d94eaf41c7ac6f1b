// How XML parsing and the configuration file scale with the number of items
// in one place: attributes on one element, references to entities whose text
// holds markup, and values of one configuration key (loaded and saved).
// Each runs at a small and a large count, so that the time per item shows
// whether the cost grows faster than the input.
#include <benchmark/benchmark.h>

#include <string>

#include "config/QXConf.h"
#include "util/streams/MemoryStream.h"
#include "xml/QXMLParser.h"

using namespace tessel;

namespace {

// Names in an order that is neither sorted nor reversed.
std::string ItemName(int64_t i, int64_t n) { return "n" + std::to_string((i * 7919) % n); }

std::string AttributesDocument(int64_t n) {
  std::string doc = "<a";
  for (int64_t i = 0; i < n; ++i) doc += " " + ItemName(i, n) + "='v'";
  return doc + "/>";
}

std::string EntitiesDocument(int64_t n) {
  std::string doc = "<!DOCTYPE a [";
  for (int64_t i = 0; i < n; ++i) doc += "<!ENTITY " + ItemName(i, n) + " '<b/>'>";
  doc += "]><a>";
  for (int64_t i = 0; i < n; ++i) doc += "&" + ItemName(n - 1 - i, n) + ";";
  return doc + "</a>";
}

void Parse(benchmark::State& state, const std::string& doc) {
  int64_t events = 0;
  TQXMLParser parser;
  parser.Events.StartElement = [&](const TQName&, const TAttrList* a) { events += 1 + (a ? a->Count() : 0); };
  for (auto _ : state) parser.Parse(std::make_unique<TStringStream>(doc));
  benchmark::DoNotOptimize(events);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_AttributesOnOneElement(benchmark::State& state) { Parse(state, AttributesDocument(state.range(0))); }
void BM_EntityReferencesWithMarkup(benchmark::State& state) { Parse(state, EntitiesDocument(state.range(0))); }

void FillKey(TQXConfigFile& config, int64_t n) {
  TQCKey& key = config.OpenKey("Big");
  for (int64_t i = 0; i < n; ++i) key.WriteValue(ItemName(i, n), u"value");
}

void BM_ConfigKeyValuesSave(benchmark::State& state) {
  TQXConfigFile config;
  FillKey(config, state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(config.SaveToString("iso-8859-2"));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ConfigKeyValuesLoad(benchmark::State& state) {
  TQXConfigFile source;
  FillKey(source, state.range(0));
  std::string text = source.SaveToString("iso-8859-2");
  TQXConfigFile config;
  config.Silent = false;
  for (auto _ : state) config.LoadFromString(text);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_AttributesOnOneElement)->Arg(10000)->Arg(160000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EntityReferencesWithMarkup)->Arg(10000)->Arg(160000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConfigKeyValuesSave)->Arg(5000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConfigKeyValuesLoad)->Arg(5000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
