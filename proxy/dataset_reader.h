#pragma once
// TDBXDataSetReader: a dataset handed to a remote method as a table. The
// reader frees the dataset with itself when it was made its owner. Sending
// the rows of a dataset to the server is not supported: reading rows raises
// TDBXError 27.
#include "dataset/client_dataset.h"
#include "dbx/reader.h"

namespace wardenix {

class TDBXDataSetReader final : public TDBXReader {
 public:
  TDBXDataSetReader(TClientDataSet* dataset, bool instance_owner);
  ~TDBXDataSetReader() override;

  TClientDataSet* DataSet() const { return dataset_; }
  bool InstanceOwner() const { return instance_owner_; }

  // The dataset's columns by their names.
  std::int32_t ColumnCount() const override;
  TDBXValueType& ValueType(std::int32_t ordinal) override;
  TDBXValue& Value(std::int32_t ordinal) override;
  bool Next() override;

 private:
  TClientDataSet* dataset_;
  bool instance_owner_;
  std::vector<std::unique_ptr<TDBXValueType>> columns_;
};

}  // namespace wardenix
