// The scoped transaction on both backends: work kept only by an explicit commit, rolled back
// when the scope ends otherwise, the first error winning, and savepoints inside a transaction.
#include <stdexcept>

#include "db/DbTestSupport.h"
#include "host/db/TransactionGuard.h"

namespace vela::test {
namespace {

class TransactionGuardTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    auto conn = Db().Connection();
    conn->ExecSQL("CREATE TABLE \"parent\" (\"id\" INTEGER PRIMARY KEY)");
    // Checked at commit time, so that a commit itself can fail.
    conn->ExecSQL(
        "CREATE TABLE \"child\" (\"id\" INTEGER PRIMARY KEY, \"parent\" INTEGER REFERENCES "
        "\"parent\" (\"id\") DEFERRABLE INITIALLY DEFERRED)");
  }

  void Exec(const std::string& sql) { Db().Connection()->ExecSQL(sql); }
};

TEST_P(TransactionGuardTest, CommitKeepsAndLeavingTheScopeRollsBack) {
  {
    TTransactionGuard transaction(Db());
    EXPECT_TRUE(Db().InTransaction());
    Exec("INSERT INTO \"parent\" VALUES (1)");
    transaction.Commit();
  }
  EXPECT_FALSE(Db().InTransaction());
  try {
    TTransactionGuard transaction(Db());
    Exec("INSERT INTO \"parent\" VALUES (2)");
    throw std::runtime_error("before the commit");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "before the commit");
  }
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(CountRows("parent"), 1);
  // An explicit rollback ends the guard's work; its scope then leaves nothing to undo.
  {
    TTransactionGuard transaction(Db());
    Exec("INSERT INTO \"parent\" VALUES (3)");
    transaction.Rollback();
    EXPECT_FALSE(transaction.Active());
  }
  // Without a running transaction a savepoint guard starts one.
  auto conn = Db().Connection();
  {
    TTransactionGuard guard(*conn, "check");
    EXPECT_TRUE(conn->InTransaction());
    conn->ExecSQL("INSERT INTO \"parent\" VALUES (4)");
  }
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(CountRows("parent"), 1);
}

TEST_P(TransactionGuardTest, TheFirstErrorWins) {
  // The transaction was ended behind the guard's back, so its rollback fails as well; the error
  // that left the scope is the one that arrives.
  auto conn = Db().Connection();
  try {
    TTransactionGuard transaction(*conn);
    conn->Rollback();
    throw std::runtime_error("the first error");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "the first error");
  }
  EXPECT_FALSE(conn->InTransaction());
}

TEST_P(TransactionGuardTest, AFailedCommitRollsBackAndRaisesItsOwnError) {
  {
    TTransactionGuard transaction(Db());
    Exec("INSERT INTO \"parent\" VALUES (1)");
    Exec("INSERT INTO \"child\" VALUES (1, 99)");  // no such parent: refused at commit
    EXPECT_THROW(transaction.Commit(), EDatabaseError);
  }
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(CountRows("parent"), 0);
  EXPECT_EQ(CountRows("child"), 0);
  // The database takes a new transaction afterwards.
  TTransactionGuard again(Db());
  Exec("INSERT INTO \"parent\" VALUES (2)");
  again.Commit();
  EXPECT_EQ(CountRows("parent"), 1);
}

TEST_P(TransactionGuardTest, ASavepointUndoesOnlyItsOwnWork) {
  auto conn = Db().Connection();
  TTransactionGuard outer(*conn);
  conn->ExecSQL("INSERT INTO \"parent\" VALUES (1)");
  try {
    TTransactionGuard inner(*conn, "inner");
    conn->ExecSQL("INSERT INTO \"parent\" VALUES (2)");
    conn->ExecSQL("INSERT INTO \"parent\" VALUES (1)");  // duplicate key
    inner.Commit();
    ADD_FAILURE() << "the duplicate key was accepted";
  } catch (const EDatabaseError&) {
  }
  EXPECT_TRUE(conn->InTransaction());
  {
    TTransactionGuard inner(*conn, "inner");
    conn->ExecSQL("INSERT INTO \"parent\" VALUES (3)");
    inner.Commit();
  }
  outer.Commit();
  auto st = conn->PrepareNew("SELECT SUM(\"id\") FROM \"parent\"");
  st->Execute();
  ASSERT_TRUE(st->Next());
  EXPECT_EQ(st->ColumnInt64(0), 4);  // rows 1 and 3
}

VELA_INSTANTIATE_DB_TEST(TransactionGuardTest);

}  // namespace
}  // namespace vela::test
