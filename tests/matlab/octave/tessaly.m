function varargout = tessaly(varargin)
%TESSALY  Octave stand-in for the compiled tessaly: the plug-in called through mexcall.
outputs = mexcall_run('tessaly', nargout, varargin);
varargout = outputs;
end
