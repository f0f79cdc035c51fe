// Data containers of a typical shop order (an order with its customer and three positions, about
// 500 bytes of JSON) converted into VelaXML one by one, as the background import does: the body
// loaded into the container pre-processor, the configuration read from its text, the document
// written into memory. Next to it, simdjson parsing the same documents alone (DOM, every value
// visited). Prints containers per second of each and the ratio.
//
//   vela_bench_containers [CONTAINERS]      (default 100000)
#include <simdjson.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "business_integration/_BIContainerDataSetImportPreProcessor.h"
#include "host/InterfacedData.h"
#include "rtl/Streams.h"

namespace {

const char* kConfig = R"([VelaXML]
PartName=ORDERS
ItemName=ORDER
[Mapping]
order.number=ORDERNO
order.date=ORDERDATE
order.customer.id=CUSTNO
order.customer.name=CUSTNAME
total=TOTAL
paid=PAID
[DataFormats]
ORDERDATE=DateTime
TOTAL=Float
[DetailParts]
Positions=
[Positions_VelaXML]
PartName=POSITIONS
ItemName=POSITION
[Positions_DB]
Query=positions
[Positions_Mapping]
@Parent:order.number=ORDERNO
sku=SKU
title=TITLE
quantity=QUANTITY
price=PRICE
[Positions_DataFormats]
PRICE=Float
)";

std::string Order(int n) {
  const std::string no = std::to_string(100000 + n);
  return R"({"order":{"number":"SO-)" + no + R"(","date":"2026-03-02T10:15:00","customer":{"id":)" +
         std::to_string(1000 + n % 977) +
         R"(,"name":"Anna Berger","email":"anna@example.com"}},"total":152.4,"paid":true,)"
         R"("positions":[{"sku":"TEA-001","title":"Green tea, 100 g","quantity":2,"price":6.5},)"
         R"({"sku":"CUP-017","title":"Cup \"Graz\"","quantity":1,"price":12.9},)"
         R"({"sku":"POT-003","title":"Teapot & warmer","quantity":1,"price":126.5}]})";
}

template <class F>
double Seconds(F&& Body) {
  const auto t0 = std::chrono::steady_clock::now();
  Body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Visits every value so that the parse is not cut short.
size_t Visit(simdjson::dom::element e) {
  size_t n = 1;
  simdjson::dom::object object;
  simdjson::dom::array array;
  if (e.get(object) == simdjson::SUCCESS)
    for (auto field : object)
      n += Visit(field.value);
  else if (e.get(array) == simdjson::SUCCESS)
    for (auto item : array)
      n += Visit(item);
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  std::vector<std::string> orders;
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    orders.push_back(Order(i));
    bytes += orders.back().size();
  }

  size_t documentBytes = 0;
  const double convert = Seconds([&] {
    for (const std::string& body : orders) {
      auto processor = vela::LoadDataContainer("application/json", body);
      auto* memory = new vela::TMemoryStream();
      vela::IPtr<vela::IDataStream> out = vela::NewDataStream(memory, true);
      std::string error;
      bool user = false;
      if (!processor->Do_PreConvert(nullptr, out.get(), kConfig, vela::xmpRAW, vela::xmpRAW,
                                    nullptr, nullptr, vela::pemImportTransformXML, nullptr, false,
                                    nullptr, error, user)) {
        std::fprintf(stderr, "conversion failed: %s\n", error.c_str());
        std::exit(1);
      }
      documentBytes += static_cast<size_t>(memory->Size());
    }
  });

  size_t values = 0;
  simdjson::dom::parser parser;
  const double parse = Seconds([&] {
    for (const std::string& body : orders) {
      simdjson::dom::element root;
      if (parser.parse(body.data(), body.size()).get(root) != simdjson::SUCCESS) std::exit(1);
      values += Visit(root);
    }
  });

  std::printf("containers: %d, JSON %.1f MB, VelaXML %.1f MB, %zu JSON values\n", count,
              static_cast<double>(bytes) / 1e6, static_cast<double>(documentBytes) / 1e6, values);
  std::printf("container pre-processor: %.3f s, %.0f containers/s\n", convert, count / convert);
  std::printf("simdjson parse alone:    %.3f s, %.0f containers/s\n", parse, count / parse);
  std::printf("ratio (conversion time / parse time): %.1f\n", convert / parse);
  return 0;
}
