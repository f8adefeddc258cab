{ Stands in for Delphi's ShareMem when the examples are compiled by Free
  Pascal here: only its place in the uses clause matters to them. }
unit ShareMem;

interface

implementation

end.
