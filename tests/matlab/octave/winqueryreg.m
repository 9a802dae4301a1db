function value = winqueryreg(root, subkey, name)
%WINQUERYREG  Octave stand-in for MATLAB's winqueryreg, for REG_DWORD values: reads the
%   registry stand-in through its reg tool and gives an int32, as MATLAB does.
if nargin < 3
    name = '';
end
if isempty(name)
    selector = '/ve';
else
    selector = ['/v ''' strrep(name, '''', '''\''''') ''''];
end
key = strrep([root '\' subkey], '''', '''\''''');
[status, text] = system(['reg query ''' key ''' ' selector ' 2>&1']);
found = regexp(text, 'REG_DWORD\s+0x([0-9a-f]+)', 'tokens', 'once');
if status ~= 0 || isempty(found)
    error('MATLAB:WINQUERYREG:invalidvalue', 'Unable to get value: %s', strtrim(text));
end
value = typecast(uint32(hex2dec(found{1})), 'int32');
end
