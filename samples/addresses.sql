-- Destination table for the sample import (samples/addresses.csv through samples/custom/addresses.tic).
CREATE TABLE IF NOT EXISTS addresses (
  id INTEGER PRIMARY KEY,
  lastname VARCHAR(60),
  firstname VARCHAR(60),
  street VARCHAR(100),
  zip VARCHAR(10),
  city VARCHAR(60),
  country VARCHAR(2),
  birthday DATE,
  balance DOUBLE PRECISION
);
