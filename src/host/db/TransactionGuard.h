// A scoped transaction: the work between its start and Commit is kept only when Commit is
// called; a scope left without a commit (an exception, an early return) rolls the work back.
// The first error wins: a rollback that fails while another error is on its way out is dropped,
// and a commit that fails rolls back whatever is still open before its own error goes on.
//
// TTarget is anything with StartTransaction, Commit, Rollback and InTransaction: a database
// (TVelaDatabase) or one connection (TDbConnection). On a connection a guard may also be nested:
// given a savepoint name, it marks a savepoint when a transaction is already running, and starts
// one otherwise.
#pragma once

#include <string>

namespace vela {

template <class TTarget>
class TTransactionGuard {
 public:
  // Starts the transaction.
  explicit TTransactionGuard(TTarget& ATarget) : FTarget(ATarget) {
    FTarget.StartTransaction();
    FActive = true;
  }
  // Marks the savepoint ASavepoint inside the running transaction, or starts a transaction when
  // none runs.
  TTransactionGuard(TTarget& ATarget, std::string ASavepoint) : FTarget(ATarget) {
    if (FTarget.InTransaction()) {
      FSavepoint = std::move(ASavepoint);
      FTarget.Savepoint(FSavepoint);
    } else {
      FTarget.StartTransaction();
    }
    FActive = true;
  }
  TTransactionGuard(const TTransactionGuard&) = delete;
  TTransactionGuard& operator=(const TTransactionGuard&) = delete;

  ~TTransactionGuard() {
    if (!FActive) return;
    try {
      Rollback();
    } catch (...) {
      // Leaving the scope must not raise; the error that ended it (if any) is the one to see.
    }
  }

  // Keeps the work. When the commit fails, what is still open is rolled back and the commit's
  // error is raised.
  void Commit() {
    FActive = false;
    try {
      if (FSavepoint.empty())
        FTarget.Commit();
      else
        ReleaseSavepoint();
    } catch (...) {
      try {
        if (!FSavepoint.empty())
          RollbackToSavepoint();
        else if (FTarget.InTransaction())
          FTarget.Rollback();
      } catch (...) {
      }
      throw;
    }
  }

  // Undoes the work now; an error of the rollback itself is raised.
  void Rollback() {
    FActive = false;
    if (FSavepoint.empty())
      FTarget.Rollback();
    else
      RollbackToSavepoint();
  }

  // True until Commit or Rollback ended the guard's work.
  bool Active() const noexcept { return FActive; }

 private:
  static constexpr bool kSavepoints = requires(TTarget & t, const std::string& name) {
    t.Savepoint(name);
    t.RollbackToSavepoint(name);
    t.ReleaseSavepoint(name);
  };

  void ReleaseSavepoint() {
    if constexpr (kSavepoints) FTarget.ReleaseSavepoint(FSavepoint);
  }
  void RollbackToSavepoint() {
    if constexpr (kSavepoints) {
      FTarget.RollbackToSavepoint(FSavepoint);
      FTarget.ReleaseSavepoint(FSavepoint);
    }
  }

  TTarget& FTarget;
  std::string FSavepoint;  // empty: the guard owns the whole transaction
  bool FActive = false;
};

}  // namespace vela
