function text = mexcall_literal(value)
%MEXCALL_LITERAL  VALUE written as one of mexcall's MATLAB-style literals.
%   Char, cell, double, logical, int32, uint32 and struct arrays of up to two dimensions. A 0x0
%   double inside a cell stands for an element cell() left unset, which MATLAB hands a MEX
%   function as no array at all.
if ndims(value) > 2
    error('mexcall_literal:shape', 'mexcall takes arrays of two dimensions only');
end
[rows, columns] = size(value);
if isequal(size(value), [0 0]) && ischar(value)
    text = '''''';
    return;
end
if isempty(value) && ~isstruct(value)
    text = sprintf('zeros(%d,%d,''%s'')', rows, columns, class(value));
    if ischar(value) || islogical(value)
        text = sprintf('%s(zeros(%d,%d))', class(value), rows, columns);
    elseif iscell(value)
        text = sprintf('cell(%d,%d)', rows, columns);
    end
    return;
end
if ischar(value)
    lines = arrayfun(@(r) char_row(value(r, :)), 1:rows, 'UniformOutput', false);
    text = ['[' strjoin(lines, ';') ']'];
elseif iscell(value)
    lines = cell(1, rows);
    for r = 1:rows
        parts = cell(1, columns);
        for c = 1:columns
            element = value{r, c};
            if isa(element, 'double') && isequal(size(element), [0 0])
                parts{c} = 'cell(1,1)';
            else
                parts{c} = ['{' mexcall_literal(element) '}'];
            end
        end
        lines{r} = strjoin(parts, ', ');
    end
    text = ['[' strjoin(lines, '; ') ']'];
elseif isstruct(value)
    text = 'struct()';
elseif isnumeric(value) || islogical(value)
    lines = arrayfun(@(r) strjoin(arrayfun(@number, value(r, :), 'UniformOutput', false), ' '), ...
                     1:rows, 'UniformOutput', false);
    text = ['[' strjoin(lines, ';') ']'];
    if ~isa(value, 'double')
        text = [class(value) '(' text ')'];
    end
else
    error('mexcall_literal:class', 'mexcall takes no %s array', class(value));
end
end

% A char row as 'text' pieces, with control characters as char(N) between them.
function text = char_row(row)
pieces = {};
piece = '';
for unit = row
    if double(unit) < 32
        if ~isempty(piece)
            pieces{end + 1} = ['''' strrep(piece, '''', '''''') '''']; %#ok<AGROW>
            piece = '';
        end
        pieces{end + 1} = sprintf('char(%d)', double(unit)); %#ok<AGROW>
    else
        piece = [piece unit]; %#ok<AGROW>
    end
end
if ~isempty(piece) || isempty(pieces)
    pieces{end + 1} = ['''' strrep(piece, '''', '''''') ''''];
end
text = strjoin(pieces, ', ');
if numel(pieces) > 1
    text = ['[' text ']'];
end
end

function text = number(x)
if islogical(x)
    text = sprintf('%d', x);
elseif isinteger(x)
    text = sprintf('%d', x);
else
    text = sprintf('%.17g', x);
end
end
