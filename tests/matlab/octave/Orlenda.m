function varargout = Orlenda(varargin)
%ORLENDA  Octave stand-in for the compiled Orlenda: the plug-in called through mexcall.
outputs = mexcall_run('Orlenda', nargout, varargin);
varargout = outputs;
end
