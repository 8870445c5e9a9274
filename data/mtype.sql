-- Schema and machine types of mtype.mdb. Statements end with ";" at a line end.

CREATE TABLE data1 (
  MTYPE TEXT PRIMARY KEY,
  Listed INTEGER NOT NULL,      -- shown in the model menu
  Layout INTEGER NOT NULL,      -- front panel 1 to 4
  PerChannel INTEGER NOT NULL,  -- limits in rows MTYPE#1, MTYPE#2, ...
  MaxVolt REAL, MaxCurr REAL, MaxOvp REAL,
  StepVolt REAL, StepCurr REAL, StepOvp REAL,
  FmtVolt TEXT, FmtCurr TEXT, FmtOvp TEXT
);

INSERT INTO data1 VALUES ('PSQ-3323', 1, 1, 1, 32, 3.2, 35.2, 0.01, 0.001, 0.01, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('PSQ-3323#1', 0, 1, 0, 32, 3.2, 35.2, 0.01, 0.001, 0.01, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('PSQ-3323#2', 0, 1, 0, 32, 3.2, 35.2, 0.01, 0.001, 0.01, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('PSQ-3323#3', 0, 1, 0, 6, 3.2, 6.6, 0.01, 0.001, 0.01, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('SPQ-3610DNB', 1, 2, 0, 36, 10, 39.6, 0.01, 0.01, 0.01, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('TRQ-3302', 1, 3, 0, 30, 3, 0, 0.01, 0.001, 0, '.00', '.000', '.00');
INSERT INTO data1 VALUES ('TRQ-7206S', 1, 4, 1, 30, 6, 0, 0.01, 0.001, 0, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('TRQ-7206S#1', 0, 4, 0, 30, 6, 0, 0.01, 0.001, 0, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('TRQ-7206S#2', 0, 4, 0, 30, 6, 0, 0.01, 0.001, 0, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('TRQ-7206S#3', 0, 4, 0, 10, 3, 0, 0.01, 0.001, 0, '.000', '.000', '.00');
INSERT INTO data1 VALUES ('TRQ-7206S#4', 0, 4, 0, 5, 1, 0, 0.01, 0.001, 0, '.000', '.000', '.00');

-- Readings are kept as the panel showed them ("2.000" stays "2.000"); the
-- graph's extremes read them as numbers.
CREATE TABLE datamain (
  RecNo TEXT, StartTime TEXT, EndTime TEXT, Comment TEXT,
  PUnit TEXT, SUnit TEXT, RecStyle TEXT, ShowStyle TEXT
);

-- Record numbers are unique.
CREATE UNIQUE INDEX datamain_recno ON datamain (RecNo);

-- The header of the working table: the record it holds, whether it holds
-- points no saved record has, and the record scale of its points (as
-- datamain's RecStyle).
CREATE TABLE workhead (
  Id INTEGER PRIMARY KEY CHECK (Id = 1),
  RecNo TEXT, StartTime TEXT, EndTime TEXT, Comment TEXT, Unsaved INTEGER, RecStyle TEXT
);

CREATE TABLE datadetail (
  RecNo TEXT, SeqWindow INTEGER, SeqNo INTEGER, RecTime TEXT,
  PVal TEXT, SVal TEXT, Reason TEXT, PVal2 TEXT, SVal2 TEXT, Reason2 TEXT,
  PVal3 TEXT, SVal3 TEXT, Reason3 TEXT, Comment TEXT, TimeTick INTEGER, DiffLastTime INTEGER,
  PVal4 TEXT, SVal4 TEXT,
  Gap INTEGER, Ah1 REAL, Wh1 REAL, Ah2 REAL, Wh2 REAL, Ah3 REAL, Wh3 REAL, Ah4 REAL, Wh4 REAL
);
CREATE INDEX datadetail_recno ON datadetail (RecNo, SeqNo);

CREATE TABLE datatemp (
  SeqNo INTEGER, RecTime TEXT, PVal TEXT, SVal TEXT, Reason TEXT,
  PVal2 TEXT, SVal2 TEXT, Reason2 TEXT, PVal3 TEXT, SVal3 TEXT, Reason3 TEXT,
  Comment TEXT, TimeTick INTEGER, DiffLastTime INTEGER, PVal4 TEXT, SVal4 TEXT,
  Gap INTEGER, Ah1 REAL, Wh1 REAL, Ah2 REAL, Wh2 REAL, Ah3 REAL, Wh3 REAL, Ah4 REAL, Wh4 REAL
);
CREATE INDEX datatemp_seqno ON datatemp (SeqNo);

-- What the graph needs of a record's points, so a long one opens without
-- reading them all: per channel and quantity the lowest, highest and sum of
-- buckets of neighbouring points, the points after a gap and the extremes
-- (PointSummary's bytes). RecNo '' is the working table's; loaded from a
-- record, it names that record in SameAs instead of holding a copy. Only
-- records of more points than buckets have one; without it the rows are read.
CREATE TABLE datasummary (
  RecNo TEXT PRIMARY KEY, Points INTEGER, FirstSeqNo INTEGER, LastSeqNo INTEGER,
  LastTime TEXT, Summary BLOB, SameAs TEXT
);

-- Limit events: the working table's (RecNo '') and each saved record's.
CREATE TABLE dataevent (
  RecNo TEXT, SeqNo INTEGER, RecTime TEXT, Channel INTEGER, Quantity TEXT,
  Value REAL, LimitValue REAL, Action TEXT
);
CREATE INDEX dataevent_recno ON dataevent (RecNo);

CREATE TABLE datacopy (
  RecNo TEXT, SeqWindow INTEGER, SeqNo INTEGER, RecTime TEXT,
  PVal TEXT, SVal TEXT, Reason TEXT, PVal2 TEXT, SVal2 TEXT, Reason2 TEXT,
  PVal3 TEXT, SVal3 TEXT, Reason3 TEXT, Comment TEXT, TimeTick INTEGER, DiffLastTime INTEGER,
  PVal4 TEXT, SVal4 TEXT,
  Gap INTEGER, Ah1 REAL, Wh1 REAL, Ah2 REAL, Wh2 REAL, Ah3 REAL, Wh3 REAL, Ah4 REAL, Wh4 REAL
);

CREATE TABLE datawindow1 (
  SeqNo INTEGER, RecTime TEXT, PVal TEXT, SVal TEXT, Reason TEXT,
  PVal2 TEXT, SVal2 TEXT, Reason2 TEXT, PVal3 TEXT, SVal3 TEXT, Reason3 TEXT,
  Comment TEXT, TimeTick INTEGER, DiffLastTime INTEGER, PVal4 TEXT, SVal4 TEXT,
  Gap INTEGER, Ah1 REAL, Wh1 REAL, Ah2 REAL, Wh2 REAL, Ah3 REAL, Wh3 REAL, Ah4 REAL, Wh4 REAL
);
